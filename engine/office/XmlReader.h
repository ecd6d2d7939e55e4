// CXmlReader: a small pull reader of the XML inside a document, one token at a time (an element's
// start, its end, a piece of text), over pieces of a part as they are unpacked. It keeps only the
// open elements' names, the current tag and a bounded stretch of unread bytes: a long text comes
// out in several pieces. Entities are the five predefined ones and numeric references; a document
// type declaration, a tag that does not close, an end tag that does not match, bytes that are not
// UTF-8, all end in BrokenXml, never in a crash or a hang.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/office/OfficeText.h"

class CChunkInput;

enum class XmlToken : unsigned char { Start, End, Text, Done, Failed };

// Bounds of the reader: the longest tag, comment or instruction; the deepest nesting.
constexpr size_t kMaxXmlMarkupBytes = 1024 * 1024;
constexpr size_t kMaxXmlDepth = 512;

class CXmlReader {
public:
    explicit CXmlReader(CChunkInput& input) : m_input(input) {}
    CXmlReader(const CXmlReader&) = delete;
    CXmlReader& operator=(const CXmlReader&) = delete;

    XmlToken Next();
    // After Start: reads on past the element's end, its content unseen; false on a failure.
    bool Skip();
    OfficeOutcome Failure() const { return m_failure; }

    // The local name (without its prefix) of the element up levels above the current one: 0 is
    // the element started or ended, or the one a text is in; empty above the root.
    std::string_view Name(size_t up = 0) const;
    size_t Depth() const { return m_open.size(); }
    // After Start: an attribute's value by its local name, entities decoded (UTF-8).
    bool Attribute(std::string_view localName, std::string* value) const;
    // After Start: the value of the attribute named id in the relationships namespace, whatever
    // prefix the part gave that namespace (r:id as a rule).
    bool RelationshipId(std::string* value) const;
    // After Text: the piece of text as UTF-16 units, line ends as '\n'.
    const std::wstring& Text() const { return m_text; }

private:
    struct Namespace {
        size_t depth;
        std::string prefix, uri;
    };

    XmlToken Fail(OfficeOutcome why);
    bool More();
    bool Need(size_t count);
    bool FindMarkupEnd(std::string_view closing, size_t from, size_t* at);
    bool FindTagEnd(size_t* at);
    XmlToken ReadText();
    XmlToken ReadMarkup();
    XmlToken ReadStartTag(size_t end);
    XmlToken ReadEndTag();
    bool ParseAttributes(std::string_view tag);
    void PopClosed();
    std::string_view PrefixOf(std::string_view name) const;

    CChunkInput& m_input;
    std::string m_buffer; // unread bytes start at m_at
    size_t m_at = 0;
    bool m_inputEnded = false;
    OfficeOutcome m_failure = OfficeOutcome::Ok;
    std::vector<std::string> m_open; // qualified names of the open elements
    std::vector<Namespace> m_namespaces;
    std::vector<std::pair<std::string, std::string>> m_attributes;
    std::wstring m_text;
    bool m_selfClosed = false; // the last Start was <a/>: its End comes next
    bool m_popNext = false;    // the last token was an End: its element closes on the next call
    bool m_rootSeen = false;
    bool m_passedOver = false; // ReadMarkup passed over a comment or an instruction
};

// Appends UTF-8 bytes (entity references decoded when entities is set) as UTF-16 units, a CR or
// CR LF as '\n'; false when the bytes are not UTF-8 or a reference is not one XML has.
bool AppendXmlText(std::string_view bytes, bool entities, std::wstring* units);
// Appends one code point as UTF-16 units.
void AppendCodePoint(uint32_t codePoint, std::wstring* units);
