// Word, Excel and PowerPoint files read as text, from documents these tests write themselves onto
// a real disk: what each kind keeps and leaves out, every way a document may be broken or hostile
// ending in its outcome, and two versions of a document compared as their text.
#include <windows.h>

#include <gtest/gtest.h>

#include "TestZip.h"
#include "common/TempFolder.h"
#include "engine/compare/FileCompare.h"
#include "engine/office/OfficeFile.h"

namespace {

using O = OfficeOutcome;

std::wstring Wide(const std::string& narrow) {
    std::wstring wide(narrow.size(), L'\0');
    wide.resize(static_cast<size_t>(::MultiByteToWideChar(CP_ACP, 0, narrow.data(), static_cast<int>(narrow.size()),
                                                          &wide[0], static_cast<int>(wide.size()))));
    return wide;
}

const std::string kW = "xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\" "
                       "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\"";

std::string TextRun(const std::string& text, const std::string& properties = "") {
    return "<w:r>" + (properties.empty() ? "" : "<w:rPr>" + properties + "</w:rPr>") + "<w:t xml:space=\"preserve\">" +
           text + "</w:t></w:r>";
}

std::string Paragraph(const std::string& runs, const std::string& properties = "") {
    return "<w:p>" + (properties.empty() ? "" : "<w:pPr>" + properties + "</w:pPr>") + runs + "</w:p>";
}

std::string FieldChar(const char* type) {
    return std::string("<w:r><w:fldChar w:fldCharType=\"") + type + "\"/></w:r>";
}

// A Word package: the document, a header, footnotes and comments, linked from the document.
std::vector<TestEntry> Word(const std::string& body) {
    return {{"[Content_Types].xml", "<Types/>"},
            {"_rels/.rels", Relationships({{"rId1", "officeDocument", "word/document.xml"}})},
            {"word/_rels/document.xml.rels",
             Relationships({{"rId1", "footnotes", "footnotes.xml"}, {"rId2", "header", "header1.xml"},
                            {"rId3", "comments", "/word/comments.xml"}})},
            {"word/document.xml", "<?xml version=\"1.0\"?><w:document " + kW + "><w:body>" + body +
                                      "<w:sectPr><w:headerReference r:id=\"rId2\"/></w:sectPr></w:body></w:document>"},
            {"word/header1.xml", "<w:hdr " + kW + "><!-- a <comment> -->" + Paragraph(TextRun("Header")) + "</w:hdr>"},
            {"word/footnotes.xml", "<w:footnotes " + kW + "><w:footnote w:type=\"separator\" w:id=\"-1\">" +
                                       Paragraph("<w:r><w:separator/></w:r>") + "</w:footnote><w:footnote w:id=\"1\">" +
                                       Paragraph(TextRun("Note")) + "</w:footnote></w:footnotes>"},
            {"word/comments.xml", "<w:comments " + kW + "><w:comment w:id=\"0\">" + Paragraph(TextRun("Comment")) +
                                      "</w:comment></w:comments>"}};
}

const std::string kWordBody =
    Paragraph(TextRun("Plain ") + "<w:ins w:id=\"1\">" + TextRun("inserted") + "</w:ins><w:del w:id=\"2\"><w:r><w:delText>" +
              "deleted</w:delText></w:r></w:del>" + TextRun(" &amp; &#x8868;&#8364;") + "<w:moveFrom>" +
              TextRun(" moved away") + "</w:moveFrom><w:moveTo>" + TextRun(" moved here") + "</w:moveTo>") +
    Paragraph(TextRun("Page ") + FieldChar("begin") + "<w:r><w:instrText> PAGE </w:instrText></w:r>" +
              FieldChar("begin") + "<w:r><w:instrText>NUMPAGES</w:instrText></w:r>" + FieldChar("separate") +
              TextRun("9") + FieldChar("end") + FieldChar("separate") + TextRun("7") + FieldChar("end") + "<w:fldSimple w:instr=\"DATE\">" + TextRun(" today") +
              "</w:fldSimple>") +
    Paragraph(TextRun("secret", "<w:vanish/>") + TextRun("shown", "<w:vanish w:val=\"0\"/>") +
              TextRun(" kept", "<w:rPrChange><w:rPr><w:vanish/></w:rPr></w:rPrChange>") +
              "<w:r><w:tab/></w:r><w:r><w:br/></w:r>" + TextRun("next")) +
    Paragraph(u8"<w:r><w:ruby><w:rubyPr/><w:rt>" + TextRun(u8"かんじ") + "</w:rt><w:rubyBase>" + TextRun(u8"漢字") +
              "</w:rubyBase></w:ruby></w:r>") +
    "<w:tbl><w:tr><w:tc>" + Paragraph(TextRun("A1")) + "</w:tc><w:tc>" + Paragraph(TextRun("B")) + Paragraph(TextRun("1")) +
    "</w:tc></w:tr><w:tr><w:trPr><w:del w:id=\"3\"/></w:trPr><w:tc>" + Paragraph(TextRun("gone row")) +
    "</w:tc></w:tr></w:tbl>" + Paragraph(TextRun("Joined "), "<w:rPr><w:del w:id=\"4\"/></w:rPr>") +
    Paragraph(TextRun("here")) + Paragraph("") +
    "<mc:AlternateContent xmlns:mc=\"m\"><mc:Choice>" + Paragraph(TextRun("box")) + "</mc:Choice><mc:Fallback>" +
    Paragraph(TextRun("box again")) + "</mc:Fallback></mc:AlternateContent>";

const char* const kWordText = u8"Header\nPlain inserted & 表€ moved here\nPage 7 today\nshown kept\t\nnext\n漢字\nA1\tB 1\n"
                              u8"Joined here\n\nbox\nNote\nComment\n";

const std::string kS = "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
                       "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\"";

// Two sheets whose parts are named against their order, rich and phonetic runs, an inline string.
std::vector<TestEntry> Excel() {
    return {
        {"_rels/.rels", Relationships({{"rId1", "officeDocument", "xl/workbook.xml"}})},
        {"xl/workbook.xml", u8"<workbook " + kS + u8"><sheets><sheet name=\"売上\" sheetId=\"2\" r:id=\"rId7\"/>"
                                                  u8"<sheet name=\"B &amp; C\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>"},
        {"xl/_rels/workbook.xml.rels",
         Relationships({{"rId1", "worksheet", "worksheets/sheet1.xml"}, {"rId7", "worksheet", "worksheets/sheet2.xml"},
                        {"rId3", "sharedStrings", "sharedStrings.xml"}})},
        {"xl/sharedStrings.xml",
         u8"<sst " + kS + u8"><si><r><t>Rich </t></r><r><rPr><b/></rPr><t>text</t></r></si>"
                          u8"<si><t>東京</t><rPh sb=\"0\" eb=\"2\"><t>トウキョウ</t></rPh></si><si><t>a_x000D_b</t></si></sst>"},
        {"xl/worksheets/sheet2.xml",
         "<worksheet " + kS + "><sheetData><row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c><c r=\"B1\"><v>3.14</v></c>"
                              "<c r=\"C1\" t=\"b\"><v>1</v></c><c r=\"D1\"><f>1+1</f><v>2</v></c><c r=\"E1\" s=\"1\"/></row>"
                              "<row r=\"3\"><c r=\"B3\" t=\"inlineStr\"><is><t>inline</t></is></c>"
                              "<c r=\"C3\" t=\"str\"><f>A1</f><v>Rich text</v></c></row></sheetData></worksheet>"},
        {"xl/worksheets/sheet1.xml", "<worksheet " + kS + "><sheetData><row><c t=\"s\"><v>1</v></c><c t=\"s\"><v>2</v></c>"
                                                          "</row></sheetData></worksheet>"}};
}

const char* const kExcelText = u8"売上!A1: Rich text\n売上!B1: 3.14\n売上!C1: TRUE\n売上!D1: 2\n売上!B3: inline\n"
                               u8"売上!C3: Rich text\nB & C!A1: 東京\nB & C!B1: a\nb\n";

const std::string kP = "xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\" "
                       "xmlns:p=\"http://schemas.openxmlformats.org/presentationml/2006/main\" "
                       "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\"";

std::string Slide(const std::string& paragraphs) {
    return "<p:sld " + kP + "><p:cSld><p:spTree><p:sp><p:txBody>" + paragraphs + "</p:txBody></p:sp></p:spTree></p:cSld></p:sld>";
}

std::vector<TestEntry> Slides() {
    return {{"_rels/.rels", Relationships({{"rId1", "officeDocument", "ppt/presentation.xml"}})},
            {"ppt/presentation.xml", "<p:presentation " + kP + "><p:sldIdLst><p:sldId id=\"256\" r:id=\"rId9\"/>"
                                                               "<p:sldId id=\"257\" r:id=\"rId2\"/></p:sldIdLst></p:presentation>"},
            {"ppt/_rels/presentation.xml.rels",
             Relationships({{"rId2", "slide", "slides/slide1.xml"}, {"rId9", "slide", "slides/slide2.xml"}})},
            {"ppt/slides/slide2.xml", Slide("<a:p><a:r><a:t><![CDATA[Ti]]>tle</a:t></a:r></a:p><a:p/><a:p><a:r><a:t>two</a:t></a:r>"
                                            "<a:br/><a:r><a:t>lines</a:t></a:r></a:p>")},
            {"ppt/slides/slide1.xml", Slide("<a:p><a:fld type=\"slidenum\"><a:t>2</a:t></a:fld></a:p>")}};
}

std::vector<TestEntry> With(std::vector<TestEntry> entries, const std::string& name, const std::string& data) {
    for (TestEntry& entry : entries)
        if (entry.name == name)
            entry.data = data;
    return entries;
}

std::vector<TestEntry> Changed(std::vector<TestEntry> entries, const std::string& name, TestEntry how) {
    for (TestEntry& entry : entries)
        if (entry.name == name) {
            how.name = entry.name;
            how.data = entry.data;
            entry = how;
        }
    return entries;
}

std::string Utf8(const std::vector<wchar_t>& units) {
    std::string text(units.size() * 3, '\0');
    text.resize(static_cast<size_t>(::WideCharToMultiByte(CP_UTF8, 0, units.data(), static_cast<int>(units.size()),
                                                          &text[0], static_cast<int>(text.size()), nullptr, nullptr)));
    return text;
}

// An end record that claims what the case needs, after nothing.
std::string EndRecordOnly(uint16_t count, uint32_t directorySize) {
    std::string end("PK\5\6\0\0\0\0", 8);
    for (uint32_t value : {uint32_t{count} | (uint32_t{count} << 16), directorySize, 0u})
        for (int shift = 0; shift < 32; shift += 8)
            end += static_cast<char>((value >> shift) & 0xFF);
    return end + std::string(2, '\0');
}

} // namespace

TEST(OfficeText, EachKindAndEachWayADocumentIsBroken) {
    const std::string bomb(24u << 20, 'a');
    const std::string word = MakeZip(Word(kWordBody));
    struct Case {
        const char* what;
        const char* name;
        std::string bytes;
        OfficeOutcome outcome;
        std::string text = std::string();
    };
    const Case cases[] = {
        {"docx", "a.docx", word, O::Ok, kWordText},
        {"docm, stored entries", "a.DOCM", MakeZip(Changed(Word(kWordBody), "word/document.xml", {"", "", true})), O::Ok, kWordText},
        {"xlsx", "a.xlsx", MakeZip(Excel()), O::Ok, kExcelText},
        {"pptx", "a.pptm", MakeZip(Slides()), O::Ok, "=== 1 ===\nTitle\ntwo\nlines\n=== 2 ===\n2\n"},
        {"not a zip", "a.docx", "plain text, no zip", O::NotZip},
        {"an empty file", "a.xlsx", "", O::NotZip},
        {"truncated", "a.docx", word.substr(0, word.size() / 2), O::Truncated},
        {"truncated directory", "a.docx", word.substr(0, word.size() - 30) + word.substr(word.size() - 22), O::Truncated},
        {"an encrypted entry", "a.docx", MakeZip(Changed(Word(kWordBody), "word/document.xml", {"", "", false, 1})), O::Encrypted},
        {"a bomb", "a.docx", MakeZip(With(Word(kWordBody), "word/header1.xml", bomb)), O::Bomb},
        {"a bomb declaring a small size", "a.docx",
         MakeZip(Changed(With(Word(kWordBody), "word/header1.xml", bomb), "word/header1.xml", {"", "", false, 0, 0, 100})),
         O::Damaged},
        {"a declared size too large", "a.docx", MakeZip(Changed(Word(kWordBody), "word/document.xml", {"", "", false, 0, 0, 1000000})), O::Damaged},
        {"a stored size that lies", "a.docx",
         MakeZip(Changed(Word(kWordBody), "word/document.xml", {"", "", true, 0, 0, 10})), O::Damaged},
        {"a checksum that lies", "a.docx", MakeZip(Changed(Word(kWordBody), "word/document.xml", {"", "", false, 0, 0, -1, true})), O::Damaged},
        {"an unknown method", "a.docx", MakeZip(Changed(Word(kWordBody), "word/document.xml", {"", "", true, 0, 12})), O::Unsupported},
        {"too many entries", "a.docx", EndRecordOnly(30000, 30000 * 46), O::TooLarge},
        {"zip64", "a.docx", EndRecordOnly(0xFFFF, 0), O::Unsupported},
        {"no document in the zip", "a.pptx", MakeZip({{"readme.txt", "hello"}}), O::Unsupported},
        {"an empty sheet", "a.xlsx", MakeZip(With(Excel(), "xl/worksheets/sheet1.xml", "")), O::BrokenXml},
        {"an unclosed element", "a.docx", MakeZip(With(Word(""), "word/document.xml", "<w:document><w:body><w:p></w:body>")), O::BrokenXml},
        {"an unknown entity", "a.xlsx", MakeZip(With(Excel(), "xl/sharedStrings.xml", "<sst><si><t>&nbsp;</t></si></sst>")), O::BrokenXml},
        {"a document type", "a.pptx", MakeZip(With(Slides(), "ppt/presentation.xml", "<!DOCTYPE x [<!ENTITY a 'b'>]><x/>")), O::BrokenXml},
        {"bytes that are not UTF-8", "a.docx", MakeZip(With(Word(""), "word/header1.xml", "<w:hdr>\xFF\xFE</w:hdr>")), O::BrokenXml},
        {"a tag inside a tag", "a.docx", MakeZip(With(Word(""), "word/comments.xml", std::string(5000, '<') + "x")), O::BrokenXml},
        {"a deep nesting", "a.docx", MakeZip(With(Word(""), "word/comments.xml", [] {
             std::string deep;
             for (int i = 0; i < 600; ++i)
                 deep += "<x>";
             return deep;
         }())), O::TooLarge}};
    TempFolder temp;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = temp / c.name;
        ASSERT_TRUE(WriteFileText(path, c.bytes));
        std::vector<wchar_t> units{L'x'};
        DWORD error = ERROR_INVALID_DATA;
        const std::wstring name = Wide(path);
        const OfficeOutcome read = ReadOfficeFile(name, OfficeKindOfName(name), nullptr, &units, &error);
        EXPECT_EQ(static_cast<int>(c.outcome), static_cast<int>(read));
        EXPECT_EQ(c.text, Utf8(units));
        EXPECT_EQ(DWORD{ERROR_SUCCESS}, error);
    }
    EXPECT_EQ(OfficeKind::None, OfficeKindOfName(L"a.docx\\b"));
}

// Two versions of a document compared as their text; one that cannot be read, as bytes with its
// reason; a missing file, and a set stop, as with any other file.
TEST(OfficeText, TwoVersionsCompared) {
    TempFolder temp;
    const std::string older = temp / "older.docx", newer = temp / "newer.docx", broken = temp / "broken.docx";
    ASSERT_TRUE(WriteFileText(older, MakeZip(Word(kWordBody))));
    ASSERT_TRUE(WriteFileText(newer, MakeZip(Word(kWordBody + Paragraph(TextRun("added"))))));
    ASSERT_TRUE(WriteFileText(broken, MakeZip(Changed(Word(kWordBody), "word/document.xml", {"", "", false, 1}))));
    FileComparison compared;
    CompareFiles(Wide(older), Wide(newer), nullptr, &compared);
    ASSERT_EQ(FileCompareOutcome::Texts, compared.outcome);
    EXPECT_EQ(OfficeKind::Word, compared.document);
    EXPECT_EQ(0u, compared.lines.RemovedLines());
    EXPECT_EQ(1u, compared.lines.AddedLines());
    EXPECT_EQ(L"A1\tB 1", compared.newerText.Line(6));

    CompareFiles(Wide(older), Wide(broken), nullptr, &compared);
    ASSERT_EQ(FileCompareOutcome::Bytes, compared.outcome);
    EXPECT_EQ(OfficeOutcome::Encrypted, compared.documentOutcome);
    EXPECT_TRUE(compared.documentOnNewerSide);
    EXPECT_EQ(ByteCompareOutcome::Different, compared.bytes.outcome);

    CompareFiles(Wide(temp / "gone.docx"), Wide(newer), nullptr, &compared);
    EXPECT_EQ(FileCompareOutcome::OlderMissing, compared.outcome);
    const BOOL stop = TRUE;
    CompareFiles(Wide(older), Wide(newer), &stop, &compared);
    EXPECT_EQ(FileCompareOutcome::Stopped, compared.outcome);
}
