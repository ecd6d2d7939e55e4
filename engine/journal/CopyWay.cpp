#include "engine/journal/CopyWay.h"

#include "engine/base/BackupPaths.h"
#include "engine/journal/Journal.h"

bool CopyWayHasLink(const std::wstring& backupRoot, const std::wstring& copy) {
    return CCopyWays(backupRoot).HasLink(copy);
}

bool CopyPathHasLink(const std::wstring& backupRoot, const std::wstring& path) {
    const std::wstring root = PlainPath(WithoutTrailingSeparators(backupRoot)),
                       plain = PlainPath(WithoutTrailingSeparators(path));
    std::wstring copy = RelativeToRoot(root, plain);
    if (copy != plain)
        return !IsSafeCopyPath(copy) || CopyWayHasLink(root, copy);
    copy = CopyPathInItsBackupsFolder(plain);
    return copy == plain || CopyWayHasLink(plain.substr(0, plain.size() - copy.size() - 1), copy);
}

bool SplitCopyPath(const std::wstring& path, std::wstring* root, std::wstring* copy) {
    const std::wstring plain = WithoutTrailingSeparators(PlainPath(path));
    *copy = CopyPathInItsBackupsFolder(plain);
    if (*copy == plain || copy->size() + 1 >= plain.size())
        return false;
    *root = plain.substr(0, plain.size() - copy->size() - 1);
    return true;
}

CCopyWays::CCopyWays(const std::wstring& backupRoot)
    : m_root(WithoutTrailingSeparators(SystemPath(backupRoot))) {}

bool CCopyWays::HasLink(const std::wstring& copy) {
    if (m_root.empty())
        return true; // a folder that cannot be named: nothing below it is read
    // The keys are upper-cased once: a journal may name a part in another case than the disk.
    const std::wstring upper = UpperCase(copy);
    for (size_t end = copy.find(L'\\');; end = copy.find(L'\\', end + 1)) {
        const Part part = Look(copy.substr(0, end), upper.substr(0, end));
        if (part != Part::Plain)
            return part == Part::Link;
        if (end == std::wstring::npos)
            return false;
    }
}

void CCopyWays::Saw(const std::wstring& entry, bool link) {
    m_parts[UpperCase(entry)] = link ? Part::Link : Part::Plain;
}

void CCopyWays::Listed(const std::wstring& folder) {
    m_listed.insert(UpperCase(folder));
}

CCopyWays::Part CCopyWays::Look(const std::wstring& part, const std::wstring& key) {
    const auto known = m_parts.find(key);
    if (known != m_parts.end())
        return known->second;
    const size_t separator = key.rfind(L'\\');
    if (separator != std::wstring::npos && m_listed.count(key.substr(0, separator)) != 0)
        return Part::Missing; // its folder's listing did not name it
    const DWORD attributes = ::GetFileAttributesW((m_root + L"\\" + part).c_str());
    const Part found = attributes == INVALID_FILE_ATTRIBUTES              ? Part::Missing
                       : (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? Part::Link
                                                                          : Part::Plain;
    m_parts.emplace(key, found);
    return found;
}
