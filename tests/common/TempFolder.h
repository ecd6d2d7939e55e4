// A fresh folder below the system's temporary folder, with helpers for writing and reading
// files in it. The folder and everything in it are removed when the object goes.
#pragma once

#include <windows.h>

#include <string>

class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& path() const { return m_path; }
    // path() + "\\" + relative
    std::string operator/(const std::string& relative) const { return m_path + "\\" + relative; }

private:
    std::string m_path;
};

// Creates every missing folder of a path (test set-up only; independent of the program's own code).
bool MakeFolders(const std::string& path);
// Writes content to a file, creating missing folders first.
bool WriteFileText(const std::string& path, const std::string& content);
// Reads a whole file; false when it cannot be opened.
bool ReadFileText(const std::string& path, std::string* content);
bool FileExists(const std::string& path);
// Flips the bits of the byte at offset in place, the file's size and last-write time kept, as a
// failing disk or a program writing into the copy leaves it; false when the file cannot be changed.
bool FlipByteKeepingTime(const std::string& path, LONG offset = 0);
bool FolderExists(const std::string& path);
// Deletes a tree, clearing read-only attributes first.
void RemoveTree(const std::string& path);
// A path the build system gave (a Unix path under Wine) as Windows sees it: Wine shows the
// Unix root as drive Z:. A path that is already a Windows path is returned as it is.
std::string WindowsPathOfBuildFile(const std::string& path);
