// A presentation's text: its slides in the order the presentation lists them (whatever their parts
// are called), each after a line "=== n ===" with its number, then each non-empty paragraph of its
// shapes and tables as a line.
#include "engine/office/OfficeReaders.h"

namespace {

OfficeOutcome ReadSlideIds(COfficePackage& package, const std::string& presentation, std::vector<std::string>* ids) {
    return package.ReadPart(presentation, [&](CXmlReader& xml, XmlToken token) {
        std::string id;
        if (token == XmlToken::Start && xml.Name() == "sldId" && xml.Name(1) == "sldIdLst" && xml.RelationshipId(&id))
            ids->push_back(id);
        return ids->size() > kMaxZipEntries ? OfficeOutcome::TooLarge : OfficeOutcome::Ok;
    });
}

OfficeOutcome ReadSlide(COfficePackage& package, const std::string& part, COfficeTextOut& out) {
    std::wstring paragraph;
    const auto collect = [&](const std::wstring& text) {
        if (!out.Spend(text.size()))
            return OfficeOutcome::TooLarge;
        paragraph += text;
        return OfficeOutcome::Ok;
    };
    return package.ReadPart(part, [&](CXmlReader& xml, XmlToken token) {
        const std::string_view name = xml.Name();
        if (token == XmlToken::Start && name == "Fallback") // repeats its Choice for old readers
            return xml.Skip() ? OfficeOutcome::Ok : xml.Failure();
        if (token == XmlToken::Text && name == "t")
            return collect(xml.Text());
        if (token == XmlToken::Start && name == "br" && xml.Name(1) == "p")
            return collect(L"\n");
        if (token == XmlToken::End && name == "p" && !paragraph.empty()) {
            const bool kept = out.AddLine(paragraph);
            paragraph.clear();
            return kept ? OfficeOutcome::Ok : OfficeOutcome::TooLarge;
        }
        return OfficeOutcome::Ok;
    });
}

} // namespace

OfficeOutcome ReadSlideText(COfficePackage& package, COfficeTextOut& out) {
    std::string presentation;
    std::vector<Relationship> links;
    std::vector<std::string> ids;
    OfficeOutcome outcome = package.MainPart("ppt/presentation.xml", &presentation);
    if (outcome == OfficeOutcome::Ok)
        outcome = package.Relationships(presentation, &links);
    if (outcome == OfficeOutcome::Ok)
        outcome = ReadSlideIds(package, presentation, &ids);
    for (size_t slide = 0; slide < ids.size() && outcome == OfficeOutcome::Ok; ++slide) {
        const std::string part = TargetOf(links, ids[slide]);
        if (part.empty())
            return OfficeOutcome::Damaged;
        const std::wstring header = L"=== " + std::to_wstring(slide + 1) + L" ===";
        if (!out.Spend(header.size()) || !out.AddLine(header))
            return OfficeOutcome::TooLarge;
        outcome = ReadSlide(package, part, out);
    }
    return outcome;
}
