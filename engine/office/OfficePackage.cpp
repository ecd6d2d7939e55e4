#include "engine/office/OfficePackage.h"

#include "engine/office/ZipEntryStream.h"

bool COfficeTextOut::Spend(size_t count) {
    if (count > kMaxOfficeTextUnits - m_spent)
        return false;
    m_spent += count;
    return true;
}

bool COfficeTextOut::AddLine(const std::wstring& line) {
    if (!Spend(1))
        return false;
    // A CR the text carried ("_x000D_" in a cell) ends a line as a line feed does: one line end.
    for (size_t at = 0; at < line.size(); ++at) {
        if (line[at] != L'\r')
            m_units.push_back(line[at]);
        else if (at + 1 == line.size() || line[at + 1] != L'\n')
            m_units.push_back(L'\n');
    }
    m_units.push_back(L'\n');
    return true;
}

bool IsRelationshipType(const std::string& type, const char* last) {
    const std::string tail = std::string("/") + last;
    return type.size() >= tail.size() && type.compare(type.size() - tail.size(), tail.size(), tail) == 0;
}

std::string ResolveTarget(const std::string& source, const std::string& target) {
    std::vector<std::string> segments;
    if (target.empty() || target[0] != '/') {
        for (size_t at = 0, slash; (slash = source.find('/', at)) != std::string::npos; at = slash + 1)
            segments.push_back(source.substr(at, slash - at));
    }
    for (size_t at = 0; at <= target.size();) {
        size_t slash = target.find('/', at);
        if (slash == std::string::npos)
            slash = target.size();
        const std::string segment = target.substr(at, slash - at);
        if (segment == "..") {
            if (!segments.empty())
                segments.pop_back();
        } else if (!segment.empty() && segment != ".") {
            segments.push_back(segment);
        }
        at = slash + 1;
    }
    std::string part;
    for (const std::string& segment : segments)
        part += (part.empty() ? "" : "/") + segment;
    return part;
}

OfficeOutcome COfficePackage::ReadPart(const std::string& part, const TokenHandler& handler) {
    const ZipEntry* entry = m_zip.Find(part);
    if (entry == nullptr)
        return OfficeOutcome::Damaged;
    CZipEntryStream stream(m_zip, *entry);
    OfficeOutcome outcome = stream.Start();
    if (outcome != OfficeOutcome::Ok)
        return outcome;
    CXmlReader xml(stream);
    for (;;) {
        const XmlToken token = xml.Next();
        if (token == XmlToken::Failed)
            return xml.Failure();
        if (token == XmlToken::Done)
            return OfficeOutcome::Ok;
        outcome = handler(xml, token);
        if (outcome != OfficeOutcome::Ok)
            return outcome;
    }
}

OfficeOutcome COfficePackage::Relationships(const std::string& part, std::vector<Relationship>* relationships) {
    relationships->clear();
    const size_t slash = part.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : part.substr(0, slash + 1);
    const std::string relsPart = folder + "_rels/" + part.substr(folder.size()) + ".rels";
    if (!Has(relsPart))
        return OfficeOutcome::Ok;
    return ReadPart(relsPart, [&](CXmlReader& xml, XmlToken token) {
        Relationship link;
        std::string mode;
        if (token != XmlToken::Start || xml.Name() != "Relationship" || !xml.Attribute("Id", &link.id) ||
            !xml.Attribute("Type", &link.type) || !xml.Attribute("Target", &link.target))
            return OfficeOutcome::Ok;
        if (xml.Attribute("TargetMode", &mode) && mode == "External")
            return OfficeOutcome::Ok;
        link.target = ResolveTarget(part, link.target);
        relationships->push_back(std::move(link));
        return relationships->size() > kMaxZipEntries ? OfficeOutcome::TooLarge : OfficeOutcome::Ok;
    });
}

OfficeOutcome COfficePackage::MainPart(const std::string& usual, std::string* part) {
    std::vector<Relationship> links;
    const OfficeOutcome outcome = Relationships(std::string(), &links);
    if (outcome != OfficeOutcome::Ok)
        return outcome;
    *part = usual;
    for (const Relationship& link : links)
        if (IsRelationshipType(link.type, "officeDocument"))
            *part = link.target;
    return Has(*part) ? OfficeOutcome::Ok : OfficeOutcome::Unsupported;
}
