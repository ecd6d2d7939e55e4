// The three readers of a document's visible text, one per kind (WordText.cpp, ExcelText.cpp,
// SlideText.cpp), each over an opened package, each adding its lines to out.
#pragma once

#include "engine/office/OfficePackage.h"

OfficeOutcome ReadWordText(COfficePackage& package, COfficeTextOut& out);
OfficeOutcome ReadExcelText(COfficePackage& package, COfficeTextOut& out);
OfficeOutcome ReadSlideText(COfficePackage& package, COfficeTextOut& out);

// The parts of links whose type ends in last, in the order of the numbers in their names
// (header2.xml before header10.xml).
std::vector<std::string> PartsOfType(const std::vector<Relationship>& links, const char* last);
// The target of the link whose id is id, or empty.
std::string TargetOf(const std::vector<Relationship>& links, const std::string& id);
// Appends an attribute's or a name's UTF-8 as UTF-16 (as much as decodes).
std::wstring Utf16Of(const std::string& utf8);
