#include "engine/office/OfficeText.h"

#include <algorithm>

#include "engine/office/OfficeReaders.h"

OfficeKind OfficeKindOfName(const std::wstring& name) {
    const size_t dot = name.rfind(L'.');
    if (dot == std::wstring::npos || name.find_first_of(L"\\/", dot) != std::wstring::npos)
        return OfficeKind::None;
    std::wstring extension = name.substr(dot + 1);
    for (wchar_t& c : extension)
        c = c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c;
    if (extension == L"docx" || extension == L"docm")
        return OfficeKind::Word;
    if (extension == L"xlsx" || extension == L"xlsm")
        return OfficeKind::Excel;
    if (extension == L"pptx" || extension == L"pptm")
        return OfficeKind::PowerPoint;
    return OfficeKind::None;
}

OfficeOutcome ReadOfficeText(CByteSource& source, OfficeKind kind, std::vector<wchar_t>* units) {
    units->clear();
    COfficePackage package(source);
    COfficeTextOut out;
    OfficeOutcome outcome = package.Open();
    if (outcome == OfficeOutcome::Ok) {
        switch (kind) {
        case OfficeKind::Word:
            outcome = ReadWordText(package, out);
            break;
        case OfficeKind::Excel:
            outcome = ReadExcelText(package, out);
            break;
        case OfficeKind::PowerPoint:
            outcome = ReadSlideText(package, out);
            break;
        case OfficeKind::None:
            outcome = OfficeOutcome::Unsupported;
            break;
        }
    }
    if (outcome == OfficeOutcome::Ok)
        units->swap(out.Units());
    return outcome;
}

std::vector<std::string> PartsOfType(const std::vector<Relationship>& links, const char* last) {
    std::vector<std::string> parts;
    for (const Relationship& link : links)
        if (IsRelationshipType(link.type, last))
            parts.push_back(link.target);
    // The shorter name first: header2.xml before header10.xml. A part linked twice is read once.
    std::sort(parts.begin(), parts.end(), [](const std::string& a, const std::string& b) {
        return a.size() != b.size() ? a.size() < b.size() : a < b;
    });
    parts.erase(std::unique(parts.begin(), parts.end()), parts.end());
    return parts;
}

std::string TargetOf(const std::vector<Relationship>& links, const std::string& id) {
    for (const Relationship& link : links)
        if (link.id == id)
            return link.target;
    return std::string();
}

std::wstring Utf16Of(const std::string& utf8) {
    std::wstring units;
    AppendXmlText(utf8, false, &units);
    return units;
}
