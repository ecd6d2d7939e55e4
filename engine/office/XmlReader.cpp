#include "engine/office/XmlReader.h"

#include <algorithm>
#include <cstring>

#include "engine/office/ZipEntryStream.h"

namespace {

constexpr size_t kLongestTextPiece = 64 * 1024;
constexpr std::string_view kRelationshipsNamespaces[] = {
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships",
    "http://purl.oclc.org/ooxml/officeDocument/relationships"};

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string_view LocalPart(std::string_view name) {
    const size_t colon = name.find(':');
    return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

// A reference after its '&' up to its ';': one of the five names, or a number XML allows.
bool DecodeReference(std::string_view reference, uint32_t* codePoint) {
    static const std::pair<std::string_view, char> kNamed[] = {
        {"lt", '<'}, {"gt", '>'}, {"amp", '&'}, {"quot", '"'}, {"apos", '\''}};
    for (const auto& [name, c] : kNamed)
        if (reference == name) {
            *codePoint = static_cast<unsigned char>(c);
            return true;
        }
    if (reference.size() < 2 || reference[0] != '#')
        return false;
    const bool hex = reference[1] == 'x';
    const std::string_view digits = reference.substr(hex ? 2 : 1);
    if (digits.empty() || digits.size() > 8)
        return false;
    uint32_t value = 0;
    for (char c : digits) {
        int digit = c >= '0' && c <= '9' ? c - '0' : -1;
        if (hex && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        if (hex && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        if (digit < 0)
            return false;
        value = value * (hex ? 16 : 10) + static_cast<uint32_t>(digit);
    }
    *codePoint = value;
    return value != 0 && value <= 0x10FFFF && (value < 0xD800 || value > 0xDFFF);
}

// One UTF-8 sequence at bytes[*at], strictly: no overlong forms, no surrogates, nothing past U+10FFFF.
bool DecodeUtf8(std::string_view bytes, size_t* at, uint32_t* codePoint) {
    const unsigned char lead = static_cast<unsigned char>(bytes[*at]);
    const size_t length = lead < 0x80 ? 1 : (lead >> 5) == 6 ? 2 : (lead >> 4) == 14 ? 3 : (lead >> 3) == 30 ? 4 : 0;
    if (length == 0 || bytes.size() - *at < length)
        return false;
    uint32_t value = length == 1 ? lead : lead & (0x7F >> length);
    for (size_t i = 1; i < length; ++i) {
        const unsigned char next = static_cast<unsigned char>(bytes[*at + i]);
        if ((next & 0xC0) != 0x80)
            return false;
        value = (value << 6) | (next & 0x3F);
    }
    static const uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (value < kSmallest[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return false;
    *at += length;
    *codePoint = value;
    return true;
}

void AppendUtf8(uint32_t codePoint, std::string* out) {
    if (codePoint < 0x80) {
        *out += static_cast<char>(codePoint);
    } else if (codePoint < 0x800) {
        *out += static_cast<char>(0xC0 | (codePoint >> 6));
        *out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else if (codePoint < 0x10000) {
        *out += static_cast<char>(0xE0 | (codePoint >> 12));
        *out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        *out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else {
        *out += static_cast<char>(0xF0 | (codePoint >> 18));
        *out += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
        *out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        *out += static_cast<char>(0x80 | (codePoint & 0x3F));
    }
}

// An attribute's value with its references decoded, kept as UTF-8.
bool DecodeAttribute(std::string_view raw, std::string* value) {
    value->clear();
    for (size_t at = 0; at < raw.size();) {
        if (raw[at] == '<')
            return false;
        if (raw[at] != '&') {
            *value += raw[at++];
            continue;
        }
        const size_t end = raw.find(';', at);
        uint32_t codePoint = 0;
        if (end == std::string_view::npos || !DecodeReference(raw.substr(at + 1, end - at - 1), &codePoint))
            return false;
        AppendUtf8(codePoint, value);
        at = end + 1;
    }
    return true;
}

// Where a piece of text may be cut when no '<' is in sight: not inside a UTF-8 sequence, a
// reference or a CR LF.
size_t SafeCut(std::string_view text) {
    size_t cut = text.size();
    const size_t amp = text.rfind('&');
    if (amp != std::string_view::npos && text.find(';', amp) == std::string_view::npos)
        cut = amp;
    size_t lead = cut;
    while (lead > 0 && cut - lead < 3 && (static_cast<unsigned char>(text[lead - 1]) & 0xC0) == 0x80)
        --lead;
    if (lead > 0) {
        const unsigned char first = static_cast<unsigned char>(text[--lead]);
        const size_t length = first < 0xC0 ? 1 : first < 0xE0 ? 2 : first < 0xF0 ? 3 : 4;
        if (lead + length > cut)
            cut = lead;
    }
    if (cut > 0 && text[cut - 1] == '\r')
        --cut;
    return cut;
}

} // namespace

void AppendCodePoint(uint32_t codePoint, std::wstring* units) {
    if (codePoint < 0x10000) {
        units->push_back(static_cast<wchar_t>(codePoint));
        return;
    }
    codePoint -= 0x10000;
    units->push_back(static_cast<wchar_t>(0xD800 + (codePoint >> 10)));
    units->push_back(static_cast<wchar_t>(0xDC00 + (codePoint & 0x3FF)));
}

bool AppendXmlText(std::string_view bytes, bool entities, std::wstring* units) {
    for (size_t at = 0; at < bytes.size();) {
        const char c = bytes[at];
        uint32_t codePoint = 0;
        if (c == '&' && entities) {
            const size_t end = bytes.find(';', at);
            if (end == std::string_view::npos || !DecodeReference(bytes.substr(at + 1, end - at - 1), &codePoint))
                return false;
            at = end + 1;
        } else if (c == '\r') {
            codePoint = '\n';
            at += at + 1 < bytes.size() && bytes[at + 1] == '\n' ? 2 : 1;
        } else if (!DecodeUtf8(bytes, &at, &codePoint)) {
            return false;
        }
        AppendCodePoint(codePoint, units);
    }
    return true;
}

std::string_view CXmlReader::Name(size_t up) const {
    return up < m_open.size() ? LocalPart(m_open[m_open.size() - 1 - up]) : std::string_view();
}

bool CXmlReader::Attribute(std::string_view localName, std::string* value) const {
    for (const auto& [name, text] : m_attributes)
        if (LocalPart(name) == localName && name.compare(0, 6, "xmlns:") != 0) {
            *value = text;
            return true;
        }
    return false;
}

std::string_view CXmlReader::PrefixOf(std::string_view name) const {
    const size_t colon = name.find(':');
    return colon == std::string_view::npos ? std::string_view() : name.substr(0, colon);
}

bool CXmlReader::RelationshipId(std::string* value) const {
    for (const auto& [name, text] : m_attributes) {
        const std::string_view prefix = PrefixOf(name);
        if (prefix.empty() || LocalPart(name) != "id")
            continue;
        const auto declared = std::find_if(m_namespaces.rbegin(), m_namespaces.rend(),
                                           [&](const Namespace& space) { return space.prefix == prefix; });
        if (declared == m_namespaces.rend())
            continue;
        for (std::string_view uri : kRelationshipsNamespaces)
            if (declared->uri == uri) {
                *value = text;
                return true;
            }
    }
    return false;
}

XmlToken CXmlReader::Fail(OfficeOutcome why) {
    if (m_failure == OfficeOutcome::Ok)
        m_failure = why;
    return XmlToken::Failed;
}

// Appends the next piece of input, dropping what was read; false at its end or on a failure.
bool CXmlReader::More() {
    if (m_inputEnded || m_failure != OfficeOutcome::Ok)
        return false;
    const char* piece = nullptr;
    size_t size = 0;
    const OfficeOutcome outcome = m_input.Next(&piece, &size);
    if (outcome != OfficeOutcome::Ok) {
        m_failure = outcome;
        return false;
    }
    if (size == 0) {
        m_inputEnded = true;
        return false;
    }
    m_buffer.erase(0, m_at);
    m_at = 0;
    m_buffer.append(piece, size);
    return true;
}

bool CXmlReader::Need(size_t count) {
    while (m_buffer.size() - m_at < count)
        if (!More())
            return false;
    return true;
}

// The offset (from m_at) of closing at or after from, reading more as needed, within the bound.
bool CXmlReader::FindMarkupEnd(std::string_view closing, size_t from, size_t* at) {
    for (;;) {
        const size_t found = m_buffer.find(closing, m_at + from);
        if (found != std::string::npos) {
            *at = found - m_at;
            return true;
        }
        const size_t unread = m_buffer.size() - m_at;
        if (unread > kMaxXmlMarkupBytes) {
            Fail(OfficeOutcome::TooLarge);
            return false;
        }
        from = unread >= closing.size() ? unread - closing.size() + 1 : 0;
        if (!More())
            return false;
    }
}

// The '>' that ends a start tag: one inside a quoted value does not.
bool CXmlReader::FindTagEnd(size_t* at) {
    char quote = 0;
    for (size_t offset = 1;; ++offset) {
        if (offset >= m_buffer.size() - m_at) {
            if (offset > kMaxXmlMarkupBytes) {
                Fail(OfficeOutcome::TooLarge);
                return false;
            }
            if (!More())
                return false;
        }
        const char c = m_buffer[m_at + offset];
        if (quote != 0) {
            quote = c == quote ? 0 : quote;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '<') {
            return false; // a tag inside a tag
        } else if (c == '>') {
            *at = offset;
            return true;
        }
    }
}

void CXmlReader::PopClosed() {
    m_open.pop_back();
    while (!m_namespaces.empty() && m_namespaces.back().depth > m_open.size())
        m_namespaces.pop_back();
}

XmlToken CXmlReader::Next() {
    if (m_failure != OfficeOutcome::Ok)
        return XmlToken::Failed;
    if (m_selfClosed) {
        m_selfClosed = false;
        m_popNext = true;
        return XmlToken::End;
    }
    if (m_popNext) {
        m_popNext = false;
        PopClosed();
    }
    // Declarations, instructions and comments are passed over here, not by recursion: a part may
    // hold any number of them in a row.
    for (;;) {
        if (!Need(1)) {
            if (m_failure != OfficeOutcome::Ok)
                return XmlToken::Failed;
            return m_open.empty() && m_rootSeen ? XmlToken::Done : Fail(OfficeOutcome::BrokenXml);
        }
        if (m_buffer[m_at] != '<')
            return ReadText();
        m_passedOver = false;
        const XmlToken token = ReadMarkup();
        if (!m_passedOver)
            return token;
    }
}

bool CXmlReader::Skip() {
    const size_t depth = m_open.size();
    for (;;) {
        const XmlToken token = Next();
        if (token == XmlToken::Failed || token == XmlToken::Done)
            return false;
        if (token == XmlToken::End && m_open.size() == depth)
            return true;
    }
}

// Text up to the next '<', or a piece of it that ends where it may be cut.
XmlToken CXmlReader::ReadText() {
    size_t end = std::string::npos;
    for (;;) {
        end = m_buffer.find('<', m_at);
        if (end != std::string::npos || m_buffer.size() - m_at > kLongestTextPiece) {
            if (end == std::string::npos)
                end = m_at + SafeCut(std::string_view(m_buffer).substr(m_at));
            break;
        }
        if (!More()) {
            if (m_failure != OfficeOutcome::Ok)
                return XmlToken::Failed;
            end = m_buffer.size();
            break;
        }
    }
    if (end == m_at)
        return Fail(OfficeOutcome::BrokenXml); // nothing could be cut: bytes that are not UTF-8
    const std::string_view text = std::string_view(m_buffer).substr(m_at, end - m_at);
    m_at = end;
    m_text.clear();
    if (!AppendXmlText(text, true, &m_text))
        return Fail(OfficeOutcome::BrokenXml);
    if (m_open.empty() && std::any_of(text.begin(), text.end(), [](char c) { return !IsSpace(c); }))
        return Fail(OfficeOutcome::BrokenXml); // text outside the root
    return XmlToken::Text;
}

XmlToken CXmlReader::ReadMarkup() {
    if (!Need(2))
        return Fail(m_failure != OfficeOutcome::Ok ? m_failure : OfficeOutcome::BrokenXml);
    const char second = m_buffer[m_at + 1];
    size_t end = 0;
    if (second == '?' || (second == '!' && Need(4) && m_buffer.compare(m_at, 4, "<!--") == 0)) {
        const bool instruction = second == '?';
        if (!FindMarkupEnd(instruction ? "?>" : "-->", 2, &end))
            return Fail(OfficeOutcome::BrokenXml);
        m_at += end + (instruction ? 2 : 3);
        m_passedOver = true;
        return XmlToken::Text;
    }
    if (second == '!') {
        if (!Need(9) || m_buffer.compare(m_at, 9, "<![CDATA[") != 0 || m_open.empty())
            return Fail(OfficeOutcome::BrokenXml); // a document type declaration: no part has one
        if (!FindMarkupEnd("]]>", 9, &end))
            return Fail(OfficeOutcome::BrokenXml);
        m_text.clear();
        const bool decoded = AppendXmlText(std::string_view(m_buffer).substr(m_at + 9, end - 9), false, &m_text);
        m_at += end + 3;
        return decoded ? XmlToken::Text : Fail(OfficeOutcome::BrokenXml);
    }
    if (second == '/')
        return ReadEndTag();
    if (!FindTagEnd(&end))
        return Fail(m_failure != OfficeOutcome::Ok ? m_failure : OfficeOutcome::BrokenXml);
    return ReadStartTag(end);
}

XmlToken CXmlReader::ReadEndTag() {
    size_t end = 0;
    if (!FindMarkupEnd(">", 2, &end))
        return Fail(m_failure != OfficeOutcome::Ok ? m_failure : OfficeOutcome::BrokenXml);
    std::string_view name = std::string_view(m_buffer).substr(m_at + 2, end - 2);
    while (!name.empty() && IsSpace(name.back()))
        name.remove_suffix(1);
    if (m_open.empty() || name != m_open.back())
        return Fail(OfficeOutcome::BrokenXml);
    m_at += end + 1;
    m_popNext = true;
    return XmlToken::End;
}

XmlToken CXmlReader::ReadStartTag(size_t end) {
    std::string_view tag = std::string_view(m_buffer).substr(m_at + 1, end - 1);
    m_selfClosed = !tag.empty() && tag.back() == '/';
    if (m_selfClosed)
        tag.remove_suffix(1);
    const size_t nameEnd = static_cast<size_t>(std::find_if(tag.begin(), tag.end(), IsSpace) - tag.begin());
    const std::string_view name = tag.substr(0, nameEnd);
    if (name.empty() || name.find_first_of("\"'=/") != std::string_view::npos || (m_open.empty() && m_rootSeen))
        return Fail(OfficeOutcome::BrokenXml);
    if (m_open.size() >= kMaxXmlDepth)
        return Fail(OfficeOutcome::TooLarge);
    if (!ParseAttributes(tag.substr(nameEnd)))
        return Fail(OfficeOutcome::BrokenXml);
    m_open.emplace_back(name);
    m_rootSeen = true;
    for (const auto& [attribute, value] : m_attributes)
        if (attribute.compare(0, 6, "xmlns:") == 0)
            m_namespaces.push_back({m_open.size(), attribute.substr(6), value});
    m_at += end + 1;
    return XmlToken::Start;
}

// name="value" or name='value', separated by white space.
bool CXmlReader::ParseAttributes(std::string_view tag) {
    m_attributes.clear();
    size_t at = 0;
    for (;;) {
        const size_t start = at;
        while (at < tag.size() && IsSpace(tag[at]))
            ++at;
        if (at == tag.size())
            return true;
        if (at == start)
            return false;
        const size_t equals = tag.find('=', at);
        if (equals == std::string_view::npos)
            return false;
        std::string_view name = tag.substr(at, equals - at);
        while (!name.empty() && IsSpace(name.back()))
            name.remove_suffix(1);
        at = equals + 1;
        while (at < tag.size() && IsSpace(tag[at]))
            ++at;
        if (name.empty() || at == tag.size() || (tag[at] != '"' && tag[at] != '\''))
            return false;
        const size_t close = tag.find(tag[at], at + 1);
        if (close == std::string_view::npos)
            return false;
        std::string value;
        if (!DecodeAttribute(tag.substr(at + 1, close - at - 1), &value))
            return false;
        m_attributes.emplace_back(std::string(name), std::move(value));
        at = close + 1;
    }
}
