// A Word document's text as it is shown with its tracked changes accepted: headers, the body (its
// tables one row to a line, the cells separated by tabs), footnotes, endnotes, footers and
// comments, a paragraph to a line. Deletions (and text moved away), field codes, hidden runs and
// ruby guides are left out; insertions, field results and ruby base text are kept.
#include "engine/office/OfficeReaders.h"

namespace {

// What collects text while its element is open. A paragraph's text goes, when it ends, to the
// cell it is in or to a line of its own; a cell's to its row; a row's to a line (or, in a nested
// table, to its cell). A text box is a block of lines of its own inside a paragraph.
enum class FrameKind : unsigned char { Paragraph, Cell, Row, Block };

struct Frame {
    FrameKind kind;
    std::wstring text;
    bool empty = true;   // nothing delivered into it yet (a row's first cell takes no tab)
    bool deleted = false; // a paragraph whose mark was deleted, a deleted table row
};

class CWordReader {
public:
    explicit CWordReader(COfficeTextOut& out) : m_out(out) {}
    OfficeOutcome ReadStory(COfficePackage& package, const std::string& part);

private:
    OfficeOutcome OnToken(CXmlReader& xml, XmlToken token);
    OfficeOutcome OnStart(CXmlReader& xml);
    OfficeOutcome OnEnd(std::string_view name);
    OfficeOutcome Append(const std::wstring& text);
    OfficeOutcome Deliver(std::wstring text);
    bool Visible() const { return !m_runHidden && m_fieldsInCode == 0; }
    bool SkipsElement(const CXmlReader& xml) const;
    void OnFieldCharacter(const CXmlReader& xml);

    COfficeTextOut& m_out;
    std::vector<Frame> m_frames;
    std::wstring m_carry;      // paragraphs whose mark was deleted run on into the next
    std::vector<bool> m_fields; // open complex fields: true once past their code
    size_t m_fieldsInCode = 0;
    bool m_runHidden = false;
};

bool IsOn(const CXmlReader& xml) {
    std::string value;
    return !xml.Attribute("val", &value) || (value != "0" && value != "false" && value != "off");
}

// Elements whose whole content the reader does not show.
bool CWordReader::SkipsElement(const CXmlReader& xml) const {
    const std::string_view name = xml.Name();
    std::string type;
    if (name == "footnote" || name == "endnote")
        return xml.Attribute("type", &type) && type != "normal"; // separators, continuation notices
    if (name == "rt")
        return xml.Name(1) == "ruby"; // the phonetic guide; rubyBase is the text
    return name == "del" || name == "moveFrom" || name == "delText" || name == "instrText" ||
           name == "delInstrText" || name == "Fallback"; // Fallback repeats its Choice for old readers
}

void CWordReader::OnFieldCharacter(const CXmlReader& xml) {
    std::string type;
    xml.Attribute("fldCharType", &type);
    if (type == "begin") {
        m_fields.push_back(false);
        ++m_fieldsInCode;
    } else if (type == "separate" && !m_fields.empty() && !m_fields.back()) {
        m_fields.back() = true;
        --m_fieldsInCode;
    } else if (type == "end" && !m_fields.empty()) {
        m_fieldsInCode -= m_fields.back() ? 0 : 1;
        m_fields.pop_back();
    }
}

OfficeOutcome CWordReader::OnStart(CXmlReader& xml) {
    const std::string_view name = xml.Name(), parent = xml.Name(1);
    if (name == "del" && parent == "rPr" && xml.Name(2) == "pPr") {
        if (!m_frames.empty() && m_frames.back().kind == FrameKind::Paragraph)
            m_frames.back().deleted = true; // accepted, the paragraph joins the next
        return OfficeOutcome::Ok;
    }
    if (name == "del" && parent == "trPr") {
        if (!m_frames.empty() && m_frames.back().kind == FrameKind::Row)
            m_frames.back().deleted = true;
        return OfficeOutcome::Ok;
    }
    if (SkipsElement(xml))
        return xml.Skip() ? OfficeOutcome::Ok : xml.Failure();
    if (name == "p") {
        m_frames.push_back({FrameKind::Paragraph, std::move(m_carry)});
        m_carry.clear();
    } else if (name == "tc" || name == "tr" || name == "txbxContent") {
        m_frames.push_back({name == "tc" ? FrameKind::Cell : name == "tr" ? FrameKind::Row : FrameKind::Block, {}});
    } else if (name == "r") {
        m_runHidden = false;
    } else if (name == "vanish" && parent == "rPr" && xml.Name(2) == "r") {
        m_runHidden = IsOn(xml);
    } else if (name == "fldChar") {
        OnFieldCharacter(xml);
    } else if (parent == "r" && Visible()) {
        std::string type;
        if (name == "tab")
            return Append(L"\t");
        if (name == "noBreakHyphen")
            return Append(L"-");
        if (name == "cr" || (name == "br" && (!xml.Attribute("type", &type) || type == "textWrapping")))
            return Append(L"\n");
    }
    return OfficeOutcome::Ok;
}

OfficeOutcome CWordReader::OnEnd(std::string_view name) {
    const bool paragraph = name == "p", cell = name == "tc", row = name == "tr";
    if (name == "r")
        m_runHidden = false;
    if (!paragraph && !cell && !row && name != "txbxContent")
        return OfficeOutcome::Ok;
    if (m_frames.empty())
        return OfficeOutcome::BrokenXml;
    Frame frame = std::move(m_frames.back());
    m_frames.pop_back();
    if (paragraph && frame.deleted) {
        m_carry = std::move(frame.text);
        return OfficeOutcome::Ok;
    }
    if (frame.kind == FrameKind::Block || (row && frame.deleted))
        return OfficeOutcome::Ok;
    return Deliver(std::move(frame.text));
}

OfficeOutcome CWordReader::Append(const std::wstring& text) {
    if (!m_out.Spend(text.size()))
        return OfficeOutcome::TooLarge;
    if (!m_frames.empty() && m_frames.back().kind == FrameKind::Paragraph)
        m_frames.back().text += text;
    return OfficeOutcome::Ok;
}

// A closed frame's text to the frame around it, or to a line of its own.
OfficeOutcome CWordReader::Deliver(std::wstring text) {
    if (m_frames.empty() || m_frames.back().kind == FrameKind::Block)
        return m_out.AddLine(text) ? OfficeOutcome::Ok : OfficeOutcome::TooLarge;
    Frame& into = m_frames.back();
    const bool separated = into.kind == FrameKind::Row ? !into.empty : !into.text.empty() && !text.empty();
    if (!m_out.Spend(1))
        return OfficeOutcome::TooLarge;
    if (separated)
        into.text += into.kind == FrameKind::Row ? L'\t' : L' ';
    into.text += text;
    into.empty = false;
    return OfficeOutcome::Ok;
}

OfficeOutcome CWordReader::OnToken(CXmlReader& xml, XmlToken token) {
    switch (token) {
    case XmlToken::Start:
        return OnStart(xml);
    case XmlToken::End:
        return OnEnd(xml.Name());
    case XmlToken::Text:
        if (xml.Name() == "t" && xml.Name(1) == "r" && Visible())
            return Append(xml.Text());
        return OfficeOutcome::Ok;
    default:
        return OfficeOutcome::Ok;
    }
}

OfficeOutcome CWordReader::ReadStory(COfficePackage& package, const std::string& part) {
    m_frames.clear();
    m_fields.clear();
    m_fieldsInCode = 0;
    m_runHidden = false;
    const OfficeOutcome outcome =
        package.ReadPart(part, [this](CXmlReader& xml, XmlToken token) { return OnToken(xml, token); });
    if (outcome == OfficeOutcome::Ok && !m_carry.empty() && !m_out.AddLine(m_carry))
        return OfficeOutcome::TooLarge;
    m_carry.clear();
    return outcome;
}

} // namespace

OfficeOutcome ReadWordText(COfficePackage& package, COfficeTextOut& out) {
    std::string main;
    std::vector<Relationship> links;
    OfficeOutcome outcome = package.MainPart("word/document.xml", &main);
    if (outcome == OfficeOutcome::Ok)
        outcome = package.Relationships(main, &links);
    if (outcome != OfficeOutcome::Ok)
        return outcome;
    std::vector<std::string> stories = PartsOfType(links, "header");
    stories.push_back(main);
    for (const char* type : {"footnotes", "endnotes", "footer", "comments"})
        for (std::string& part : PartsOfType(links, type))
            stories.push_back(std::move(part));
    CWordReader reader(out);
    for (const std::string& story : stories) {
        outcome = reader.ReadStory(package, story);
        if (outcome != OfficeOutcome::Ok)
            return outcome;
    }
    return OfficeOutcome::Ok;
}
