#include "engine/base/FileFacts.h"

bool ReadFileFacts(const std::wstring& path, FileFacts* facts) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)))
        return false;
    facts->size = (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    facts->modified = data.ftLastWriteTime;
    facts->attributes = data.dwFileAttributes;
    return true;
}
