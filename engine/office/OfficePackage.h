// COfficePackage: the parts of a document's zip as the package format links them (each part's
// relationships in _rels/<name>.rels, targets relative to the part), each part read as a stream of
// XML tokens. COfficeTextOut collects the lines a reader keeps, within kMaxOfficeTextUnits.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "engine/office/XmlReader.h"
#include "engine/office/ZipArchive.h"

struct Relationship {
    std::string id;
    std::string type;   // the full type; readers match its last segment
    std::string target; // the part's name in the zip, resolved against the source part
};

class COfficeTextOut {
public:
    // Counts count more units against the bound (a reader's pending text too): false past it.
    bool Spend(size_t count);
    // Appends line and its '\n'; the line's units were spent as they were collected.
    bool AddLine(const std::wstring& line);
    std::vector<wchar_t>& Units() { return m_units; }

private:
    std::vector<wchar_t> m_units;
    size_t m_spent = 0;
};

class COfficePackage {
public:
    using TokenHandler = std::function<OfficeOutcome(CXmlReader& xml, XmlToken token)>;

    explicit COfficePackage(CByteSource& source) : m_zip(source) {}
    OfficeOutcome Open() { return m_zip.Open(); }
    bool Has(const std::string& part) const { return m_zip.Find(part) != nullptr; }
    // The document's main part: the package's officeDocument relationship, else usual; a zip that
    // has neither is not this kind of document.
    OfficeOutcome MainPart(const std::string& usual, std::string* part);
    // part's relationships (none when it has no .rels part); external targets left out.
    OfficeOutcome Relationships(const std::string& part, std::vector<Relationship>* relationships);
    // Reads part, handing each Start, End and Text token to handler; stops at the first outcome
    // other than Ok. A missing part is Damaged: the package named it.
    OfficeOutcome ReadPart(const std::string& part, const TokenHandler& handler);

private:
    CZipArchive m_zip;
};

// Whether type (a relationship type) ends in "/" + last.
bool IsRelationshipType(const std::string& type, const char* last);
// A part name resolved from the folder of source: "../x" and "./x" followed, "/x" from the root.
std::string ResolveTarget(const std::string& source, const std::string& target);
