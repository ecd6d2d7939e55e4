// Tallowbox.ini read from a real file, the name patterns, and the choice of the backups folder:
// the setting's, beside the program, or the fall-back when the program's folder is read-only.
#include <gtest/gtest.h>

#include "EngineTestSupport.h"
#include "common/TempFolder.h"
#include "engine/Settings.h"

using Source = BackupFolderChoice::Source;

TEST(Settings, ReadFromTheProgramFolder) {
    std::string utf16 = "\xFF\xFE";
    for (wchar_t c : std::wstring(L"[Tallowbox]\r\nBackupFolder=caf\u00E9\U0001F600\r\n"))
        utf16 += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
    struct Case {
        const char* what;
        std::string bytes; // empty: no file
        std::wstring folder;
        std::vector<std::wstring> excludes;
        unsigned skipped;
        bool tooLarge;
    };
    const Case cases[] = {
        {"no file", "", L"", {}, 0, false},
        {"keys in any case, blanks trimmed, other sections not ours",
         "; note\r\n[Other]\r\nBackupFolder=no\r\n[ tallowbox ]\r\n backupfolder = D:\\bk \r\n"
         "EXCLUDE= node_modules ; ;*.tmp;\r\nexclude=.git\r\n",
         L"D:\\bk",
         {L"node_modules", L"*.tmp", L".git"},
         0,
         false},
        {"UTF-8 with its mark, quoted",
         "\xEF\xBB\xBF[Tallowbox]\nBackupFolder=\"\xE3\x83\x90 x\"\n",
         L"\u30D0 x",
         {},
         0,
         false},
        {"UTF-16", utf16, L"caf\u00E9\U0001F600", {}, 0, false},
        {"lines that do not parse",
         "[Tallowbox]\nBackupFolder=\xFF\xFE\xFD\njust text\n[unclosed\nExclude=a\n",
         L"",
         {L"a"},
         3,
         false},
        {"too large", "[Tallowbox]\nBackupFolder=x\n" + std::string(1024 * 1024, ';'), L"", {}, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempFolder temp;
        if (!c.bytes.empty()) {
            ASSERT_TRUE(WriteFileOnly(temp / "Tallowbox.ini", c.bytes));
        }
        const TallowboxSettings settings = ReadSettings(W(temp.path()));
        EXPECT_EQ(c.folder, settings.backupFolder);
        EXPECT_EQ(c.excludes, settings.excludes);
        EXPECT_EQ(c.skipped, settings.skippedLines);
        EXPECT_EQ(c.tooLarge, settings.tooLarge);
    }
}

TEST(Settings, NamePatterns) {
    struct Case {
        std::wstring name, pattern;
        bool matches;
    };
    const Case cases[] = {
        {L"Node_Modules", L"NODE_MODULES", true},
        {L"a.tmp", L"*.tmp", true},
        {L"a.tmp.txt", L"*.tmp", false},
        {L"abc", L"a?c", true},
        {L"ac", L"a?c", false},
        {L"a\U0001F600c", L"a?c", true},
        {L"\u00C4rger", L"\u00E4*", true},
        {L"mississippi", L"m*iss*ppi", true},
        {L"mississippi", L"m*x*", false},
        {L"abc", L"", false},
        {L"abc", L"ab", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.matches, MatchesNamePattern(c.name, c.pattern)) << N(c.name) << " / " << N(c.pattern);
}

// Each choice leaves the disk as it was; a folder that cannot be used fails every backup, the
// status naming the folder and the reason, and nothing is written anywhere else.
TEST(BackupFolderChoice, FromTheSettingOrBesideTheProgram) {
    TempFolder temp;
    const std::wstring program = W(temp / "prog"), local = W(temp / "local");
    MakeFolders(temp / "prog");
    WriteFileText(temp / "data\\a.txt", "a");
    WriteFileText(temp / "taken", "a file where the folder would go");
    const std::wstring onTheDrive = W(temp.path()).substr(2) + L"/drive";
    struct Case {
        const char* what;
        std::wstring setting, root;
        Source source;
        DWORD error;
    };
    const Case cases[] = {
        {"none", L"", program + L"\\backups", Source::BesideProgram, ERROR_SUCCESS},
        {"full", W(temp / "else\\bk"), W(temp / "else\\bk"), Source::FromSetting, ERROR_SUCCESS},
        {"relative", L"..\\rel\\.\\bk\\", W(temp / "rel\\bk"), Source::FromSetting, ERROR_SUCCESS},
        {"the program's drive", onTheDrive, W(temp / "drive"), Source::FromSetting, ERROR_SUCCESS},
        {"a file in the way", L"..\\taken", W(temp / "taken"), Source::FromSetting, ERROR_DIRECTORY},
        {"another drive's current folder", L"Q:bk", L"Q:bk", Source::FromSetting, ERROR_BAD_PATHNAME},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto before = ReadTree(temp.path());
        TallowboxSettings settings;
        settings.backupFolder = c.setting;
        const BackupFolderChoice choice = ChooseBackupFolder(program, settings, local);
        EXPECT_EQ(c.root, choice.root);
        EXPECT_EQ(c.source, choice.source);
        EXPECT_EQ(c.error, choice.error);
        EXPECT_TRUE(ReadTree(temp.path()) == before) << "the try left something";
        if (c.error == ERROR_SUCCESS)
            continue;
        RecordingHost host;
        CBackupEngine engine(program, 1, choice.root);
        EXPECT_FALSE(engine.BackUp(host, W(temp / "data\\a.txt"), At(2004, 3, 7, 14, 5)));
        EXPECT_EQ(W(temp / "data\\a.txt") + L"のバックアップに失敗しました（バックアップフォルダ " + c.root +
                      L" に保存できません: " + SystemMessage(c.error) + L"）",
                  host.wideStatus.back());
        EXPECT_TRUE(ReadTree(temp.path()) == before) << "a failed backup wrote something";
    }
}

TEST(BackupFolderChoice, AReadOnlyProgramFolderFallsBackUnlessTheSettingNamesOne) {
    TempFolder temp;
    MakeFolders(temp / "prog");
    SmallDisk readOnly(temp / "prog", 64, true);
    if (!readOnly.made())
        GTEST_SKIP() << "a read-only mount needs root";
    const std::wstring program = W(temp / "prog"), local = W(temp / "local");
    const BackupFolderChoice fellBack = ChooseBackupFolder(program, TallowboxSettings(), local);
    EXPECT_EQ(local + L"\\Tallowbox\\backups", fellBack.root);
    EXPECT_EQ(Source::FellBack, fellBack.source);
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), fellBack.error);
    EXPECT_FALSE(FolderExists(temp / "local")) << "the try leaves nothing";
    TallowboxSettings settings;
    settings.backupFolder = L"bk";
    const BackupFolderChoice named = ChooseBackupFolder(program, settings, local);
    EXPECT_EQ(program + L"\\bk", named.root);
    EXPECT_EQ(Source::FromSetting, named.source);
    EXPECT_NE(static_cast<DWORD>(ERROR_SUCCESS), named.error) << "never another folder in its place";
}
