#include "engine/base/Settings.h"

#include "engine/base/BackupPaths.h"
#include "engine/base/TemporaryNames.h"
#include "framework/FileHandle.h"

const wchar_t* const kSettingsFileName = L"Tallowbox.ini";
const wchar_t* const kMirrorFolderKey = L"MirrorFolder";

namespace {

const wchar_t* const kBlanks = L" \t";

std::wstring Trimmed(const std::wstring& text) {
    const size_t first = text.find_first_not_of(kBlanks);
    if (first == std::wstring::npos)
        return std::wstring();
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

// A value may be written in double quotes, as paths with spaces often are.
std::wstring Unquoted(const std::wstring& text) {
    if (text.size() >= 2 && text.front() == L'"' && text.back() == L'"')
        return text.substr(1, text.size() - 2);
    return text;
}

bool SameKey(const std::wstring& a, const wchar_t* b) {
    return UpperCase(a) == UpperCase(b);
}

// The patterns of one Exclude= value: split at ';', blanks trimmed, empty ones dropped.
void AppendPatterns(const std::wstring& value, std::vector<std::wstring>& patterns) {
    size_t start = 0;
    for (;;) {
        const size_t end = value.find(L';', start);
        const std::wstring pattern = Unquoted(Trimmed(value.substr(start, end - start)));
        if (!pattern.empty())
            patterns.push_back(pattern);
        if (end == std::wstring::npos)
            return;
        start = end + 1;
    }
}

// A whole number in digits only, clamped to [low, high]; false for anything else (WatchDelay=,
// CheckDays=).
bool ParseClamped(const std::wstring& value, DWORD low, DWORD high, DWORD& number) {
    if (value.empty() || value.find_first_not_of(L"0123456789") != std::wstring::npos)
        return false;
    ULONGLONG parsed = 0;
    for (wchar_t digit : value) {
        parsed = parsed * 10 + static_cast<ULONGLONG>(digit - L'0');
        if (parsed > high)
            break; // any longer run of digits clamps alike, without overflowing
    }
    number = static_cast<DWORD>(parsed < low ? low : parsed > high ? high : parsed);
    return true;
}

// DiffTool=: a command line as written (its quotes are the user's), no longer than one can be.
bool ParseDiffTool(const std::wstring& value, std::wstring& diffTool) {
    if (value.size() > kMaxCommandLineLength)
        return false;
    diffTool = value;
    return true;
}

// What the reader knows between lines: whether they belong to this program's section.
struct ParseState {
    bool inOurSection = false;
};

// One line, without its line end. False when it does not parse.
bool ParseLine(const std::wstring& raw, ParseState& state, TallowboxSettings& settings) {
    if (raw.find(L'\0') != std::wstring::npos)
        return false;
    const std::wstring line = Trimmed(raw);
    if (line.empty() || line[0] == L';' || line[0] == L'#')
        return true;
    if (line[0] == L'[') {
        if (line.back() != L']')
            return false;
        state.inOurSection = SameKey(Trimmed(line.substr(1, line.size() - 2)), L"Tallowbox");
        return true;
    }
    const size_t equals = line.find(L'=');
    if (equals == std::wstring::npos || equals == 0)
        return false;
    if (!state.inOurSection)
        return true; // another program's section: not ours to judge
    const std::wstring key = Trimmed(line.substr(0, equals));
    const std::wstring value = Trimmed(line.substr(equals + 1));
    if (SameKey(key, L"BackupFolder"))
        settings.backupFolder = Unquoted(value);
    else if (SameKey(key, L"Exclude"))
        AppendPatterns(value, settings.excludes);
    else if (SameKey(key, L"WatchDelay"))
        return ParseClamped(Unquoted(value), kMinWatchDelaySeconds, kMaxWatchDelaySeconds,
                            settings.watchDelaySeconds);
    else if (SameKey(key, L"CheckDays"))
        return ParseClamped(Unquoted(value), 0, kMaxCheckDays, settings.checkDays);
    else if (SameKey(key, L"Link"))
        settings.links = !SameKey(value, L"no");
    else if (SameKey(key, L"Hash"))
        settings.hashes = !SameKey(value, L"no");
    else if (SameKey(key, L"DiffTool"))
        return ParseDiffTool(value, settings.diffTool);
    else if (SameKey(key, kMirrorFolderKey))
        settings.mirrorFolder = Unquoted(value);
    else if (SameKey(key, L"Language"))
        settings.language = SameKey(Unquoted(value), L"ja")   ? LanguageSetting::Japanese
                            : SameKey(Unquoted(value), L"en") ? LanguageSetting::English
                                                              : settings.language;
    return true;
}

void ParseWideLine(std::wstring line, ParseState& state, TallowboxSettings& settings) {
    if (!line.empty() && line.back() == L'\r')
        line.pop_back();
    if (!ParseLine(line, state, settings))
        ++settings.skippedLines;
}

// UTF-8, line by line: a line that is not valid UTF-8 is skipped, never read with stand-ins.
void ParseUtf8(const std::string& bytes, size_t start, TallowboxSettings& settings) {
    ParseState state;
    while (start <= bytes.size()) {
        size_t end = bytes.find('\n', start);
        if (end == std::string::npos)
            end = bytes.size();
        const int length = static_cast<int>(end - start);
        std::wstring line(static_cast<size_t>(length), L'\0');
        const int converted = length == 0
                                  ? 0
                                  : MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data() + start,
                                                        length, &line[0], length);
        if (length > 0 && converted <= 0)
            ++settings.skippedLines;
        else
            ParseWideLine(line.substr(0, static_cast<size_t>(converted)), state, settings);
        start = end + 1;
    }
}

void ParseUtf16(const std::string& bytes, TallowboxSettings& settings) {
    ParseState state;
    std::wstring line;
    for (size_t at = 2; at + 1 < bytes.size(); at += 2) {
        const wchar_t unit = static_cast<wchar_t>(static_cast<unsigned char>(bytes[at]) |
                                                  (static_cast<unsigned char>(bytes[at + 1]) << 8));
        if (unit != L'\n') {
            line += unit;
            continue;
        }
        ParseWideLine(line, state, settings);
        line.clear();
    }
    ParseWideLine(line, state, settings);
}

// The bytes of the file, or false when it is missing, unreadable or too large to be settings.
bool ReadSettingsBytes(const std::wstring& path, std::string& bytes, bool& tooLarge) {
    CFileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE)
        return false;
    char chunk[16384];
    DWORD read = 0;
    while (ReadFile(file.get(), chunk, sizeof chunk, &read, nullptr) && read > 0) {
        if (bytes.size() + read > kMaxSettingsBytes) {
            tooLarge = true; // checked as it grows: a file still being written cannot slip past
            return false;
        }
        bytes.append(chunk, read);
    }
    return true;
}

// Where the drive or share part of a full plain path ends: "C:", "\\server\share".
size_t RootLength(const std::wstring& plain) {
    if (plain.compare(0, 2, L"\\\\") != 0)
        return 2;
    const size_t server = plain.find(L'\\', 2);
    const size_t share = server == std::wstring::npos ? server : plain.find(L'\\', server + 1);
    return share == std::wstring::npos ? plain.size() : share;
}

// The setting's folder as a full path, "." and ".." resolved: relative to the program's folder,
// "\x" on the program's drive. "D:x" depends on a current folder: kept as written, which no
// backup takes for a folder.
std::wstring FolderOfSetting(const std::wstring& programFolder, std::wstring setting) {
    for (wchar_t& c : setting)
        if (c == L'/')
            c = L'\\';
    if (!IsFullPath(setting)) {
        if (setting.size() >= 2 && setting[1] == L':')
            return setting;
        setting = setting[0] == L'\\' ? programFolder.substr(0, RootLength(programFolder)) + setting
                                      : programFolder + L"\\" + setting;
    }
    std::wstring full = PlainPath(setting);
    if (full.size() > 3) // a drive's root keeps its separator
        full = WithoutTrailingSeparators(full);
    return full.empty() ? setting : full;
}

// The folders of plain that are missing, the topmost first.
std::vector<std::wstring> MissingFolders(std::wstring plain) {
    std::vector<std::wstring> missing;
    const size_t root = RootLength(plain);
    while (plain.size() > root && GetFileAttributesW(SystemPath(plain).c_str()) == INVALID_FILE_ATTRIBUTES) {
        missing.insert(missing.begin(), plain);
        const size_t separator = plain.rfind(L'\\');
        if (separator == std::wstring::npos)
            break;
        plain.erase(separator);
    }
    return missing;
}

DWORD TryTemporaryFile(const std::wstring& systemFolder) {
    CFileHandle file(CreateFileW((systemFolder + L"\\" + TemporaryName()).c_str(), GENERIC_WRITE, 0, nullptr,
                                 CREATE_NEW, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    return file.get() == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
}

// Matches upper-cased name against upper-cased pattern; '?' takes a surrogate pair whole.
bool MatchesUpperCased(const std::wstring& name, const std::wstring& pattern) {
    size_t n = 0, p = 0;
    size_t starAt = std::wstring::npos, resumeAt = 0; // the last '*' and where its run ends
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == L'*') {
            starAt = p++;
            resumeAt = n;
        } else if (p < pattern.size() && (pattern[p] == L'?' || pattern[p] == name[n])) {
            const bool pair = pattern[p] == L'?' && IS_HIGH_SURROGATE(name[n]) && n + 1 < name.size() &&
                              IS_LOW_SURROGATE(name[n + 1]);
            n += pair ? 2 : 1;
            ++p;
        } else if (starAt != std::wstring::npos) {
            p = starAt + 1; // the '*' takes one more character
            n = ++resumeAt;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == L'*')
        ++p;
    return p == pattern.size();
}

} // namespace

TallowboxSettings ParseSettings(const std::string& bytes) {
    TallowboxSettings settings;
    if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE')
        ParseUtf16(bytes, settings);
    else
        ParseUtf8(bytes, bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0, settings);
    return settings;
}

TallowboxSettings ReadSettings(const std::wstring& programFolder) {
    if (programFolder.empty())
        return TallowboxSettings();
    std::string bytes;
    bool tooLarge = false;
    if (!ReadSettingsBytes(SystemPath(programFolder + L"\\" + kSettingsFileName), bytes, tooLarge)) {
        TallowboxSettings defaults;
        defaults.tooLarge = tooLarge;
        return defaults;
    }
    return ParseSettings(bytes);
}

bool MatchesNamePattern(const std::wstring& name, const std::wstring& pattern) {
    return MatchesUpperCased(UpperCase(name), UpperCase(pattern));
}

bool IsLeftOut(const std::wstring& name, const std::vector<std::wstring>& patterns) {
    if (patterns.empty())
        return false;
    const std::wstring upper = UpperCase(name);
    for (const std::wstring& pattern : patterns)
        if (MatchesUpperCased(upper, UpperCase(pattern)))
            return true;
    return false;
}

DWORD ProbeWritableFolder(const std::wstring& folder) {
    const std::wstring plain = PlainPath(folder);
    if (plain.empty())
        return ERROR_BAD_PATHNAME;
    const std::vector<std::wstring> missing = MissingFolders(plain);
    std::vector<std::wstring> made;
    DWORD error = ERROR_SUCCESS;
    for (const std::wstring& folderToMake : missing) {
        if (!CreateDirectoryW(SystemPath(folderToMake).c_str(), nullptr)) {
            error = GetLastError();
            break;
        }
        made.push_back(folderToMake);
    }
    if (error == ERROR_SUCCESS) {
        const DWORD attributes = GetFileAttributesW(SystemPath(plain).c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES)
            error = GetLastError();
        else if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
            error = ERROR_DIRECTORY; // a file stands where the folder should be
        else
            error = TryTemporaryFile(SystemPath(plain));
    }
    for (auto folderMade = made.rbegin(); folderMade != made.rend(); ++folderMade)
        RemoveDirectoryW(SystemPath(*folderMade).c_str()); // empty: only what this try made
    return error;
}

BackupFolderChoice ChooseBackupFolder(const std::wstring& programFolder, const TallowboxSettings& settings,
                                      const std::wstring& localAppData) {
    BackupFolderChoice choice;
    if (!settings.backupFolder.empty()) {
        choice.source = BackupFolderChoice::Source::FromSetting;
        choice.root = FolderOfSetting(programFolder, settings.backupFolder);
        choice.error = IsFullPath(choice.root) ? ProbeWritableFolder(choice.root) : ERROR_BAD_PATHNAME;
        return choice;
    }
    choice.root = programFolder + L"\\backups";
    choice.error = ProbeWritableFolder(choice.root);
    if (choice.error == ERROR_SUCCESS || localAppData.empty())
        return choice;
    BackupFolderChoice fallBack;
    fallBack.root = WithoutTrailingSeparators(localAppData) + L"\\Tallowbox\\backups";
    fallBack.source = BackupFolderChoice::Source::FellBack;
    fallBack.error = ProbeWritableFolder(fallBack.root);
    // Where neither can be written, the program's own folder is the one the failures name.
    return fallBack.error == ERROR_SUCCESS ? fallBack : choice;
}
