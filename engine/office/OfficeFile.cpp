#include "engine/office/OfficeFile.h"

#include <algorithm>

#include "engine/office/ByteSource.h"
#include "framework/FileHandle.h"

namespace {

// A file as it was when opened: its size is taken once, so one that grows meanwhile is read as it was.
class CFileSource : public CByteSource {
public:
    CFileSource(HANDLE file, ULONGLONG size, const BOOL* stop) : m_file(file), m_size(size), m_stop(stop) {}
    uint64_t Size() const override { return m_size; }
    DWORD Error() const { return m_error; }

    SourceRead ReadAt(uint64_t offset, void* into, size_t size) override {
        if (m_stop != nullptr && *static_cast<const volatile BOOL*>(m_stop) != FALSE)
            return SourceRead::Stopped;
        if (offset > m_size || size > m_size - offset)
            return SourceRead::PastEnd;
        char* at = static_cast<char*>(into);
        while (size > 0) {
            OVERLAPPED where = {};
            where.Offset = static_cast<DWORD>(offset);
            where.OffsetHigh = static_cast<DWORD>(offset >> 32);
            const DWORD wanted = static_cast<DWORD>(std::min<size_t>(size, 1u << 20));
            DWORD read = 0;
            if (!::ReadFile(m_file, at, wanted, &read, &where)) {
                m_error = ::GetLastError();
                return m_error == ERROR_HANDLE_EOF ? SourceRead::PastEnd : SourceRead::Failed;
            }
            if (read == 0)
                return SourceRead::PastEnd; // cut shorter meanwhile
            at += read;
            offset += read;
            size -= read;
        }
        return SourceRead::Ok;
    }

private:
    HANDLE m_file;
    ULONGLONG m_size;
    const BOOL* m_stop;
    DWORD m_error = ERROR_SUCCESS;
};

} // namespace

OfficeOutcome ReadOfficeFile(const std::wstring& path, OfficeKind kind, const BOOL* stop,
                             std::vector<wchar_t>* units, DWORD* error) {
    units->clear();
    *error = ERROR_SUCCESS;
    CFileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   nullptr, OPEN_EXISTING, FILE_FLAG_RANDOM_ACCESS, nullptr));
    LARGE_INTEGER size{};
    if (!file.IsOpen() || !::GetFileSizeEx(file.get(), &size)) {
        *error = ::GetLastError();
        return OfficeOutcome::Unreadable;
    }
    CFileSource source(file.get(), static_cast<ULONGLONG>(size.QuadPart), stop);
    const OfficeOutcome outcome = ReadOfficeText(source, kind, units);
    if (outcome == OfficeOutcome::Unreadable)
        *error = source.Error();
    return outcome;
}
