// An Excel workbook's cells: the sheets in the workbook's order under their own names (found
// through the workbook's relationships, whatever their parts are called), each non-empty cell a
// line "Sheet!B3: value" in the order of the rows. Shared strings are kept with every rich-text run
// of theirs and without their phonetic runs; inline strings likewise; numbers as stored; booleans
// as TRUE and FALSE; a formula's cached value, not the formula.
#include "engine/office/OfficeReaders.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace {

// The shared strings, all in one buffer: string i is units [starts[i], starts[i + 1]).
struct SharedStrings {
    std::wstring units;
    std::vector<uint32_t> starts{0};
};

// "_x000D_" and the like: how the format writes characters XML cannot carry.
std::wstring Unescaped(const std::wstring& text) {
    if (text.find(L"_x") == std::wstring::npos)
        return text;
    std::wstring plain;
    for (size_t at = 0; at < text.size(); ++at) {
        unsigned value = 0;
        bool escape = at + 7 <= text.size() && text[at] == L'_' && text[at + 1] == L'x' && text[at + 6] == L'_';
        for (size_t digit = 2; escape && digit < 6; ++digit) {
            const wchar_t c = text[at + digit];
            const int v = c >= L'0' && c <= L'9' ? c - L'0' : c >= L'A' && c <= L'F' ? c - L'A' + 10
                          : c >= L'a' && c <= L'f' ? c - L'a' + 10 : -1;
            escape = v >= 0;
            value = value * 16 + static_cast<unsigned>(v < 0 ? 0 : v);
        }
        plain += escape ? static_cast<wchar_t>(value) : text[at];
        at += escape ? 6 : 0;
    }
    return plain;
}

// A cell's value (c/v) or the text of its inline string (is/t, is/r/t).
bool IsCellText(const CXmlReader& xml) {
    if (xml.Name(1) == "c")
        return xml.Name() == "v";
    return xml.Name() == "t" && (xml.Name(1) == "is" || (xml.Name(1) == "r" && xml.Name(2) == "is"));
}

bool ParseIndex(const std::wstring& digits, uint32_t* index) {
    *index = 0;
    for (wchar_t c : digits) {
        if (c < L'0' || c > L'9')
            return false;
        *index = *index * 10 + static_cast<uint32_t>(c - L'0');
    }
    return !digits.empty() && digits.size() < 10;
}

OfficeOutcome ReadSharedStrings(COfficePackage& package, const std::string& part, COfficeTextOut& out,
                                SharedStrings* strings) {
    std::wstring item;
    return package.ReadPart(part, [&](CXmlReader& xml, XmlToken token) {
        if (token == XmlToken::Start && xml.Name() == "rPh")
            return xml.Skip() ? OfficeOutcome::Ok : xml.Failure();
        if (token == XmlToken::Text && xml.Name() == "t") { // the item's t, or each of its runs' t
            if (!out.Spend(xml.Text().size()))
                return OfficeOutcome::TooLarge;
            item += xml.Text();
        } else if (token == XmlToken::End && xml.Name() == "si") {
            if (strings->starts.size() > kMaxSharedStrings)
                return OfficeOutcome::TooLarge;
            strings->units += Unescaped(item);
            strings->starts.push_back(static_cast<uint32_t>(strings->units.size()));
            item.clear();
        }
        return OfficeOutcome::Ok;
    });
}

std::wstring ColumnName(uint32_t column) { // 1 is A, 27 is AA
    std::wstring name;
    for (; column > 0; column = (column - 1) / 26)
        name.insert(name.begin(), static_cast<wchar_t>(L'A' + (column - 1) % 26));
    return name;
}

// One sheet's cells. A cell or row without its reference follows the one before it.
class CSheetReader {
public:
    CSheetReader(const std::wstring& sheetName, const SharedStrings& strings, COfficeTextOut& out)
        : m_prefix(sheetName + L"!"), m_strings(strings), m_out(out) {}
    OfficeOutcome OnToken(CXmlReader& xml, XmlToken token);

private:
    OfficeOutcome OnCellStart(const CXmlReader& xml);
    OfficeOutcome OnCellEnd();

    const std::wstring m_prefix;
    const SharedStrings& m_strings;
    COfficeTextOut& m_out;
    uint32_t m_row = 0, m_column = 0;
    std::string m_reference, m_type;
    std::wstring m_value;
};

OfficeOutcome CSheetReader::OnCellStart(const CXmlReader& xml) {
    m_value.clear();
    if (!xml.Attribute("t", &m_type))
        m_type = "n";
    if (!xml.Attribute("r", &m_reference)) {
        m_reference.clear();
        ++m_column;
        return OfficeOutcome::Ok;
    }
    uint32_t column = 0;
    for (size_t at = 0; at < m_reference.size() && m_reference[at] >= 'A' && m_reference[at] <= 'Z' && column < 20000; ++at)
        column = column * 26 + static_cast<uint32_t>(m_reference[at] - 'A' + 1);
    m_column = column;
    return OfficeOutcome::Ok;
}

OfficeOutcome CSheetReader::OnCellEnd() {
    std::wstring value;
    if (m_type == "s") {
        uint32_t index = 0;
        if (!ParseIndex(m_value, &index) || index + 1 >= m_strings.starts.size())
            return m_value.empty() ? OfficeOutcome::Ok : OfficeOutcome::Damaged;
        value.assign(m_strings.units, m_strings.starts[index], m_strings.starts[index + 1] - m_strings.starts[index]);
    } else if (m_type == "b") {
        value = m_value.empty() ? L"" : m_value == L"0" ? L"FALSE" : L"TRUE";
    } else {
        value = m_type == "inlineStr" || m_type == "str" ? Unescaped(m_value) : m_value;
    }
    if (value.empty())
        return OfficeOutcome::Ok;
    const std::wstring reference =
        m_reference.empty() ? ColumnName(m_column) + std::to_wstring(m_row) : Utf16Of(m_reference);
    const std::wstring line = m_prefix + reference + L": " + value;
    return m_out.Spend(line.size()) && m_out.AddLine(line) ? OfficeOutcome::Ok : OfficeOutcome::TooLarge;
}

OfficeOutcome CSheetReader::OnToken(CXmlReader& xml, XmlToken token) {
    const std::string_view name = xml.Name();
    if (token == XmlToken::Start) {
        std::string row;
        if (name == "row") {
            m_row = xml.Attribute("r", &row) ? static_cast<uint32_t>(std::strtoul(row.c_str(), nullptr, 10)) : m_row + 1;
            m_column = 0;
        } else if (name == "c") {
            return OnCellStart(xml);
        } else if (name == "f" || name == "rPh") {
            return xml.Skip() ? OfficeOutcome::Ok : xml.Failure(); // the formula, a phonetic run
        }
    } else if (token == XmlToken::End && name == "c") {
        return OnCellEnd();
    } else if (token == XmlToken::Text && IsCellText(xml)) {
        if (!m_out.Spend(xml.Text().size()))
            return OfficeOutcome::TooLarge;
        m_value += xml.Text();
    }
    return OfficeOutcome::Ok;
}

struct Sheet {
    std::wstring name;
    std::string id;
};

OfficeOutcome ReadSheetList(COfficePackage& package, const std::string& workbook, std::vector<Sheet>* sheets) {
    return package.ReadPart(workbook, [&](CXmlReader& xml, XmlToken token) {
        Sheet sheet;
        std::string name;
        if (token == XmlToken::Start && xml.Name() == "sheet" && xml.Name(1) == "sheets" &&
            xml.Attribute("name", &name) && xml.RelationshipId(&sheet.id)) {
            sheet.name = Utf16Of(name);
            sheets->push_back(std::move(sheet));
        }
        return sheets->size() > kMaxZipEntries ? OfficeOutcome::TooLarge : OfficeOutcome::Ok;
    });
}

} // namespace

OfficeOutcome ReadExcelText(COfficePackage& package, COfficeTextOut& out) {
    std::string workbook;
    std::vector<Relationship> links;
    std::vector<Sheet> sheets;
    SharedStrings strings;
    OfficeOutcome outcome = package.MainPart("xl/workbook.xml", &workbook);
    if (outcome == OfficeOutcome::Ok)
        outcome = package.Relationships(workbook, &links);
    if (outcome == OfficeOutcome::Ok)
        outcome = ReadSheetList(package, workbook, &sheets);
    for (const std::string& part : PartsOfType(links, "sharedStrings"))
        if (outcome == OfficeOutcome::Ok)
            outcome = ReadSharedStrings(package, part, out, &strings);
    for (const Sheet& sheet : sheets) {
        const auto link = std::find_if(links.begin(), links.end(), [&](const Relationship& candidate) {
            return candidate.id == sheet.id && IsRelationshipType(candidate.type, "worksheet");
        });
        if (outcome != OfficeOutcome::Ok || link == links.end())
            continue; // a chart sheet has no cells
        const std::string& part = link->target;
        CSheetReader reader(sheet.name, strings, out);
        outcome = package.ReadPart(part, [&](CXmlReader& xml, XmlToken token) { return reader.OnToken(xml, token); });
    }
    return outcome;
}
