// What the engine tests share: a host that records everything the engine shows, fixed batch
// moments, double-byte name pieces spelled out as bytes, a tree reader for comparing a copy
// with its source, and Unix symbolic links and case-only different names made from inside Wine.
#pragma once

#include <windows.h>

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "engine/copy/BackupItem.h"
#include "framework/Language.h"
#include "framework/String.h"
#include "shell/words/Wording.h"

SYSTEMTIME At(int year, int month, int day, int hour, int minute);

// Code page 932 bytes: 表 ends in 0x5C, ｱ is a single high byte, あ has a high trail byte.
extern const char* const kHyou;  // 0x95 0x5C
extern const char* const kHalfA; // 0xB1
extern const char* const kHiraA; // 0x82 0xA0

// Code page 932 text as UTF-16 (exact for what the code page spells), and back: a character
// the code page cannot hold comes back as "?".
std::wstring W(const std::string& text);
std::string N(const std::wstring& text);

// A row's texts in code page 932, as the cases spell them.
struct NarrowRow {
    CString date, time, name, source, destination;
};

// Records the host calls in order, as the program words them: "status <text>" (progress texts
// too), "row" (texts in code page 932; wideTexts and wideStatus keep them exactly, wideRows the
// rows themselves). The copying threads call it too.
class RecordingHost : public CBackupHost {
public:
    void SetStatus(const StatusReport& report) override;
    void ShowCopying(StatusCode activity, const std::wstring& path) override;
    void CountCopied(ULONGLONG bytes) override;
    void AppendRow(const BackupRow& row) override;

    std::vector<std::string> events;
    std::vector<std::string> statusTexts;
    std::vector<NarrowRow> rows;
    std::vector<BackupRow> wideRows;
    std::vector<RowTexts> wideTexts;
    std::vector<StatusReport> reports;
    std::vector<std::wstring> wideStatus;
    int progressTexts = 0;
    unsigned filesCounted = 0;
    ULONGLONG bytesCounted = 0;

private:
    std::mutex m_mutex;
};

// One entry of a tree: a folder, or a file with its content, attributes and last-write time.
// Equal entries are both folders, or files with the same content written at the same time
// (the platform's copy carries the time over).
struct TreeEntry {
    bool folder = false;
    std::string content;
    DWORD attributes = 0;
    ULONGLONG written = 0;
    friend bool operator==(const TreeEntry& a, const TreeEntry& b) {
        return a.folder == b.folder && a.content == b.content && (a.folder || a.written == b.written);
    }
};
// Every entry below root, by path relative to root. Links are listed but not followed.
std::map<std::string, TreeEntry> ReadTree(const std::string& root);
// Names of the entries directly in folder (no dots), sorted.
std::vector<std::string> ListFolder(const std::string& folder);

// Writes a file whose folder exists, making no folders: for names whose trail bytes are 0x5C,
// where a byte-wise search for the parent would cut a character in two.
bool WriteFileOnly(const std::string& path, const std::string& content);
bool WriteFileWithAttributes(const std::string& path, const std::string& content, DWORD attributes);
std::string ReadWhole(const std::string& path);
// The same for UTF-16 absolute paths of any length (through the long-path form); writing makes
// the missing folders.
bool WriteWideFile(const std::wstring& path, const std::string& content);
bool ReadWideFile(const std::wstring& path, std::string* content);
std::vector<std::wstring> ListWideFolder(const std::wstring& folder);

// A Unix symbolic link at link (a Windows path) to the text target, made through /bin/ln and
// removed (never what it points to) when the object goes. Wine shows a link to a folder as a
// folder with FILE_ATTRIBUTE_REPARSE_POINT.
class UnixSymlink {
public:
    UnixSymlink(const std::string& link, const std::string& target);
    ~UnixSymlink();
    UnixSymlink(const UnixSymlink&) = delete;
    UnixSymlink& operator=(const UnixSymlink&) = delete;
    bool made() const { return m_made; }

private:
    std::string m_link;
    bool m_made = false;
};

// Removes a Unix symbolic link wherever it went (a link to a folder Wine cannot remove itself).
void RemoveUnixLink(const std::string& link);

// Renames the entry from to to in folder from the Unix side, where names that differ only in
// case are two names (as on a case-sensitive source); true once the folder lists to.
bool RenameOnUnixSide(const std::string& folder, const std::string& from, const std::string& to);

// A small tmpfs mounted on the Windows folder (which must exist), so a copy can fill the disk,
// or read-only, so nothing can be written there even by root; unmounted when the object goes.
// Needs root: made() tells whether it is there.
class SmallDisk {
public:
    SmallDisk(const std::string& folder, unsigned kibibytes, bool readOnly = false);
    ~SmallDisk();
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;
    bool made() const { return m_made; }

private:
    std::string m_folder;
    bool m_made = false;
};
