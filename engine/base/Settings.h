// The user's settings file, Tallowbox.ini beside the executable, and what follows from it: which
// folder the backups go to (the setting's, beside the program, or the user's local application
// data when the program's folder cannot be written) and which entries a folder copy leaves out.
//
// The file is untrusted text: UTF-8 (with or without a byte-order mark) or UTF-16 LE with one,
// read only up to a size cap; a line that does not parse is skipped and counted.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// A settings file is a few lines; anything larger is not one and is neither read nor rewritten.
constexpr size_t kMaxSettingsBytes = 1024 * 1024;
// WatchDelay= seconds: the default, and the range a value is clamped to.
constexpr DWORD kDefaultWatchDelaySeconds = 2;
constexpr DWORD kMinWatchDelaySeconds = 1;
constexpr DWORD kMaxWatchDelaySeconds = 3600;
// CheckDays=: every copy is read back within this many days. 30 by default: a month's work at most
// is at stake when a disk starts failing, and the reading stays a small share of an idle month. 0
// turns the check off; ten years is the most a value means (a larger one is taken as that).
constexpr DWORD kDefaultCheckDays = 30;
constexpr DWORD kMaxCheckDays = 3650;
// The longest command line a program can be started with (CreateProcess: 32,767 with its null).
constexpr size_t kMaxCommandLineLength = 32766;

// Language=: the screens' language ("ja" or "en"), or the user's interface language's.
enum class LanguageSetting : unsigned char { User, Japanese, English };

struct TallowboxSettings {
    std::wstring backupFolder;                           // as written; empty: none named
    std::vector<std::wstring> excludes;                  // name patterns, every Exclude= line's in order
    DWORD watchDelaySeconds = kDefaultWatchDelaySeconds; // WatchDelay=: a watched item's settle time
    DWORD checkDays = kDefaultCheckDays;                 // CheckDays=: 0 off
    bool links = true;     // Link=no: a folder's unchanged files are copied, not linked
    bool hashes = true;    // Hash=no: versions are made without hashes or manifests (for measuring)
    std::wstring diffTool; // DiffTool=: another program's command line for comparing two files
    LanguageSetting language = LanguageSetting::User;
    std::wstring mirrorFolder; // MirrorFolder=: the second place every version is kept, as written
    unsigned skippedLines = 0; // lines that did not parse
    bool tooLarge = false;     // the file is too large to be settings: none was read
};

// The name of the settings file in the program's folder.
extern const wchar_t* const kSettingsFileName;

// Reads programFolder\Tallowbox.ini: section [Tallowbox], keys BackupFolder=, Exclude=
// (patterns separated by ';'), WatchDelay= (whole seconds, clamped to the range), Link= ("no" turns
// links off; any other value leaves them on), DiffTool= (kept as written, quotes and all; one too long
// for a command line is skipped), CheckDays= (whole days, 0 off, clamped to kMaxCheckDays) and
// Language= ("ja" or "en"; any other value leaves the user's), keys,
// values and the section's name in any case. A missing, unreadable or oversized file gives the defaults.
// MirrorFolder= is kept as written.
TallowboxSettings ReadSettings(const std::wstring& programFolder);
// The same for the file's bytes.
TallowboxSettings ParseSettings(const std::string& bytes);

// The key the mirror's folder is kept under.
extern const wchar_t* const kMirrorFolderKey;

// Gives key the value in programFolder\Tallowbox.ini's [Tallowbox] section: the key's first line
// there is replaced (its later lines dropped), or, without one, a line is added to the section (the
// section made when missing); an empty value removes the key's lines. Every other line and the file's
// encoding and line ends are kept. Written to a temporary beside the file, then put in its place: a
// failure leaves the file as it was. A file too large to be settings, or a value holding a line
// break, is refused (ERROR_INVALID_DATA). ERROR_SUCCESS or the error code.
DWORD WriteSettingValue(const std::wstring& programFolder, const wchar_t* key, const std::wstring& value);

// True when name matches pattern ('*' any run of characters, '?' one), case aside as the file
// system compares names.
bool MatchesNamePattern(const std::wstring& name, const std::wstring& pattern);
// True when name matches one of patterns.
bool IsLeftOut(const std::wstring& name, const std::vector<std::wstring>& patterns);

// The backups folder in use, where it came from, and why it cannot be used (ERROR_SUCCESS: it can).
struct BackupFolderChoice {
    std::wstring root;
    enum class Source { BesideProgram, FromSetting, FellBack } source = Source::BesideProgram;
    DWORD error = ERROR_SUCCESS;
};

// The setting's folder (relative to programFolder when not full), never another; without one,
// programFolder\backups, or localAppData\Tallowbox\backups when that cannot be written. Whether
// a folder can be written is tried leaving nothing behind: a folder made for the try is removed.
BackupFolderChoice ChooseBackupFolder(const std::wstring& programFolder, const TallowboxSettings& settings,
                                      const std::wstring& localAppData);

// ERROR_SUCCESS when a file can be made in folder (tried with a temporary deleted on close; a
// missing folder is made for the try and removed again), else why not.
DWORD ProbeWritableFolder(const std::wstring& folder);
