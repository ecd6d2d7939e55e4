// The journal: one line of plain UTF-8 text for every backup, restore and removal the program
// makes, appended to a file in the folder of the batch's day (backups\YYYY-MMDD\), so a day
// folder carries its own history wherever it is copied. The file is only ever appended to;
// its first line names the format's version and its fields, each record is one line of
// tab-separated fields (no file name can hold a tab or a line break). A header line covers the
// lines under it up to the next header: version 1 lines have 11 fields, version 2 lines add
// `linked` and `by`, version 3 lines `size`, then `error` (a failed record's system error code;
// empty on other lines) and, from 0.16 on, `hash`; an appender writes its own header first when the
// last one is another's. From version 3 on, fields are only ever added at a line's end and a reader
// skips those it does not know, so a later program's lines stay readable.
//
// A journal is read back as untrusted text (History.cpp): ParseJournalLine takes one line and
// refuses anything it cannot read whole.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "engine/base/BackupPaths.h"
#include "engine/hash/ContentHash.h"

// What a record says happened: a copy made, a copy put back, a copy moved out by the cleanup.
enum class JournalKind : unsigned char { Backup, Restore, Removed };

struct JournalRecord {
    SYSTEMTIME time{}; // the batch's moment, local time, to the second
    JournalKind kind = JournalKind::Backup;
    RowOutcome outcome = RowOutcome::Succeeded;
    bool isFolder = false;
    ULONGLONG bytes = 0;    // written
    ULONGLONG files = 0;    // written (copied, not linked)
    ULONGLONG leftOut = 0;  // entries a folder copy left out by pattern
    FILETIME modified{};    // a file's last-write time (UTC); zero when unknown or a folder
    std::wstring original;  // the item's full path
    std::wstring copy;      // the copy, relative to the backups folder: "2026-1207\1015\report.xlsx"
    std::wstring target;    // a restore's destination when it is not the original; else empty
    ULONGLONG linked = 0;   // files made as hard links to an earlier copy, or left in place in the
                            // same minute's earlier copy of the item: not written, not in bytes
    ULONGLONG size = 0;     // what the copy holds, what restoring it gives back (written and linked)
    bool sizeKnown = false; // read from a version 3 line or set by the writer; else size says nothing
    bool unchanged = false; // a file item not copied again: copy names the existing copy
    bool automatic = false; // a watched item's version, not the user's own backup
    DWORD error = ERROR_SUCCESS; // a failed record's: the system's error it failed with; 0 unknown
    // A backup's proof: a file's copy's hash, a folder's manifest's (Manifest.h). Not known for a
    // line without it (an earlier program's: its copy is not yet checked) or a record of no copy.
    ContentHash hash;
    bool hashKnown = false;
};

// "Tallowbox-journal.tsv": the journal's name in each day folder.
extern const wchar_t* const kJournalName;
// The version the program writes; it reads this one, 2 and 1.
constexpr int kJournalVersion = 3;

// The first line of a journal, with its line break.
std::string JournalHeaderLine();
// The record as one line, with its line break.
std::string FormatJournalLine(const JournalRecord& record);

// What reading one line came to.
enum class JournalLine { Record, Header, Unreadable };
// Reads one line (without its line break): a record, a header, or a line that cannot be read
// (bad UTF-8, a wrong number of fields, a field too long or malformed). *version is the version
// of the header above the line (a record is read in its form; any version but 1, 2 and 3 makes
// every record unreadable) and is set by a header line.
JournalLine ParseJournalLine(const char* text, size_t length, JournalRecord* record, int* version);

// The day folder a record of this moment goes to: "2026-1207".
std::wstring DayFolderName(const SYSTEMTIME& time);
// True for names of the form the program gives day ("YYYY-MMDD") and minute ("HHMM") folders.
bool IsDayFolderName(const std::wstring& name);
bool IsMinuteFolderName(const std::wstring& name);

// The copy's path relative to backupRoot ("2026-1207\1015\a.txt"); the full path itself when
// it does not lie below the root.
std::wstring RelativeToRoot(const std::wstring& backupRoot, const std::wstring& path);

// A relative copy path that may be opened below the backups folder: not empty, not absolute,
// no drive, device or stream (':'), no "." or ".." component, no empty component, no component
// the platform takes for a device ("CON", "nul.txt", "COM1", "LPT¹", "CON .", case aside).
bool IsSafeCopyPath(const std::wstring& copy);
// The copy's path relative to the backups folder it lies in, whichever that is (this computer's
// or the mirror): its last three components when they are a day folder, a minute folder and the
// copy ("2026-1207\1015\report.xlsx"); path itself otherwise.
std::wstring CopyPathInItsBackupsFolder(const std::wstring& path);
// A full path of a local drive ("C:\...") or a share ("\\server\share\..."), with no "." or ".."
// component and no device name: the only kind of original a restore writes to.
bool IsFullOriginalPath(const std::wstring& path);

// The journal's field texts, shared with the manifest's: text as UTF-8; UTF-8 back to text (false
// for bytes that are not UTF-8 or hold a control character); a number of up to 19 decimal digits.
std::string FieldUtf8(const std::wstring& text);
bool FieldFromUtf8(const char* text, size_t length, std::wstring* wide);
bool ParseFieldNumber(const std::string& text, ULONGLONG* value);
// A line's tab-separated fields.
std::vector<std::string> SplitFieldTexts(const char* text, size_t length);

// Appends the record to the journal of dayFolder below backupRoot (made when missing, the first
// line written first). Two programs appending at once never mix their lines; a line left cut
// short by a crash is ended first, so this record starts a line of its own. A read-only journal
// is refused, as the platform would. ERROR_SUCCESS or the error code.
DWORD AppendJournalRecord(const std::wstring& backupRoot, const std::wstring& dayFolder,
                          const JournalRecord& record);
