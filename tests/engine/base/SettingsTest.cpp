// Tallowbox.ini read from a real file, the name patterns, and the choice of the backups folder:
// the setting's, beside the program, or the fall-back when the program's folder is read-only.
#include <gtest/gtest.h>

#include "EngineTestSupport.h"
#include "common/TempFolder.h"
#include "engine/base/Settings.h"

using Source = BackupFolderChoice::Source;

TEST(Settings, ReadFromTheProgramFolder) {
    std::string utf16 = "\xFF\xFE";
    for (wchar_t c : std::wstring(L"[Tallowbox]\r\nBackupFolder=caf\u00E9\U0001F600\r\n"))
        utf16 += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
    struct Case {
        const char* what;
        std::wstring folder, excludes; // the patterns joined by ';'
        unsigned skipped;
        bool tooLarge;
        std::string bytes; // empty: no file
        DWORD watchDelay = kDefaultWatchDelaySeconds;
        LanguageSetting language = LanguageSetting::User;
        DWORD checkDays = kDefaultCheckDays;
    };
    const Case cases[] = {
        {"no file", L"", L"", 0, false, ""},
        {"keys in any case, blanks trimmed, other sections not ours", L"D:\\bk", L"node_modules;*.tmp;.git",
         0, false,
         "; note\r\n[Other]\r\nBackupFolder=no\r\n[ tallowbox ]\r\n backupfolder = D:\\bk \r\n"
         "EXCLUDE= node_modules ; ;*.tmp;\r\nexclude=.git\r\n"},
        {"UTF-8 with its mark, quoted", L"\u30D0 x", L"", 0, false,
         "\xEF\xBB\xBF[Tallowbox]\nBackupFolder=\"\xE3\x83\x90 x\"\n"},
        {"UTF-16", L"caf\u00E9\U0001F600", L"", 0, false, utf16},
        {"lines that do not parse", L"", L"a", 3, false,
         "[Tallowbox]\nBackupFolder=\xFF\xFE\xFD\njust text\n[unclosed\nExclude=a\n"},
        {"too large", L"", L"", 0, true, "[Tallowbox]\nBackupFolder=x\n" + std::string(1024 * 1024, ';')},
        {"watch delay clamped above, not a number skipped", L"", L"", 2, false,
         "[Tallowbox]\nWatchDelay=99999999999999999999\nWatchDelay=-5\nWatchDelay=2s\n", 3600},
        {"watch delay clamped below", L"", L"", 0, false, "[Tallowbox]\nWatchDelay=0\n", 1},
        {"watch delay in seconds", L"", L"", 0, false, "[Tallowbox]\nwatchdelay = \"30\" \n", 30},
        {"English screens", L"", L"", 0, false, "[Tallowbox]\nlanguage = EN\n", 2, LanguageSetting::English},
        {"Japanese screens, the last line says", L"", L"", 0, false,
         "[Tallowbox]\nLanguage=en\nLanguage=\"ja\"\n", 2, LanguageSetting::Japanese},
        {"a language without resources is ignored", L"", L"", 0, false,
         "[Tallowbox]\nLanguage=fr\nLanguage=\n", 2},
        {"the check off", L"", L"", 0, false, "[Tallowbox]\nCheckDays=0\n", 2, LanguageSetting::User, 0},
        {"check days clamped, not a number skipped", L"", L"", 2, false,
         "[Tallowbox]\ncheckdays=\"7\"\nCheckDays=99999999999\nCheckDays=-1\nCheckDays=1 week\n", 2,
         LanguageSetting::User, kMaxCheckDays}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempFolder temp;
        if (!c.bytes.empty()) {
            ASSERT_TRUE(WriteFileOnly(temp / "Tallowbox.ini", c.bytes));
        }
        const TallowboxSettings settings = ReadSettings(W(temp.path()));
        std::wstring excludes;
        for (const std::wstring& pattern : settings.excludes)
            excludes += (excludes.empty() ? L"" : L";") + pattern;
        EXPECT_EQ(c.folder, settings.backupFolder);
        EXPECT_EQ(c.excludes, excludes);
        EXPECT_EQ(c.skipped, settings.skippedLines);
        EXPECT_EQ(c.tooLarge, settings.tooLarge);
        EXPECT_EQ(c.watchDelay, settings.watchDelaySeconds);
        EXPECT_EQ(c.language, settings.language);
        EXPECT_EQ(c.checkDays, settings.checkDays);
    }
}

// Pairs of a name and a pattern.
TEST(Settings, NamePatterns) {
    const wchar_t* const matching[] = {L"Node_Modules", L"NODE_MODULES", L"a.tmp",        L"*.tmp",
                                       L"abc",          L"a?c",          L"a\U0001F600c", L"a?c",
                                       L"\u00C4rger",   L"\u00E4*",      L"mississippi",  L"m*iss*ppi"};
    const wchar_t* const other[] = {L"a.tmp.txt", L"*.tmp", L"ac", L"a?c", L"mississippi",
                                    L"m*x*",      L"abc",   L"",   L"abc", L"ab"};
    for (size_t i = 0; i + 1 < std::size(matching); i += 2)
        EXPECT_TRUE(MatchesNamePattern(matching[i], matching[i + 1]))
            << N(matching[i]) << " / " << N(matching[i + 1]);
    for (size_t i = 0; i + 1 < std::size(other); i += 2)
        EXPECT_FALSE(MatchesNamePattern(other[i], other[i + 1])) << N(other[i]) << " / " << N(other[i + 1]);
}

// Each choice leaves the disk as it was; a folder that cannot be used fails every backup, the
// status naming the folder and the reason, and nothing is written anywhere else. A read-only
// program folder (a read-only mount: root as Wine writes anywhere) falls back unless one is named.
TEST(BackupFolderChoice, FromTheSettingBesideTheProgramOrFallenBack) {
    TempFolder temp;
    const std::wstring program = W(temp / "prog"), readOnly = W(temp / "ro"), local = W(temp / "local");
    MakeFolders(temp / "prog");
    MakeFolders(temp / "ro");
    const SmallDisk disk(temp / "ro", 64, true);
    WriteFileText(temp / "data\\a.txt", "a");
    WriteFileText(temp / "taken", "a file where the folder would go");
    struct Case {
        const char* what;
        std::wstring program, setting, root;
        Source source;
        DWORD error;
    };
    const Case cases[] = {
        {"none", program, L"", program + L"\\backups", Source::BesideProgram, ERROR_SUCCESS},
        {"full", program, W(temp / "else\\bk"), W(temp / "else\\bk"), Source::FromSetting, ERROR_SUCCESS},
        {"relative", program, L"..\\rel\\.\\bk\\", W(temp / "rel\\bk"), Source::FromSetting, ERROR_SUCCESS},
        {"the program's drive", program, W(temp.path()).substr(2) + L"/drive", W(temp / "drive"),
         Source::FromSetting, ERROR_SUCCESS},
        {"a file in the way", program, L"..\\taken", W(temp / "taken"), Source::FromSetting, ERROR_DIRECTORY},
        {"another drive's current folder", program, L"Q:bk", L"Q:bk", Source::FromSetting,
         ERROR_BAD_PATHNAME},
        {"read-only", readOnly, L"", local + L"\\Tallowbox\\backups", Source::FellBack, ERROR_SUCCESS},
        {"read-only, named", readOnly, L"bk", readOnly + L"\\bk", Source::FromSetting, ERROR_ACCESS_DENIED}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.program == readOnly && !disk.made())
            GTEST_SKIP() << "a read-only mount needs root";
        const auto before = ReadTree(temp.path());
        TallowboxSettings settings;
        settings.backupFolder = c.setting;
        const BackupFolderChoice choice = ChooseBackupFolder(c.program, settings, local);
        EXPECT_EQ(c.root, choice.root);
        EXPECT_EQ(c.source, choice.source);
        EXPECT_EQ(c.error, choice.error);
        EXPECT_TRUE(ReadTree(temp.path()) == before) << "the try left something";
        if (c.error == ERROR_SUCCESS)
            continue;
        RecordingHost host;
        CBackupEngine engine(c.program, 1, choice.root);
        EXPECT_FALSE(engine.BackUp(host, W(temp / "data\\a.txt"), At(2004, 3, 7, 14, 5)));
        EXPECT_EQ(W(temp / "data\\a.txt") + L"のバックアップに失敗しました（バックアップフォルダ " + c.root +
                      L" に保存できません: " + SystemMessage(c.error) + L"）",
                  host.wideStatus.back());
        EXPECT_TRUE(ReadTree(temp.path()) == before) << "a failed backup wrote something";
    }
}
