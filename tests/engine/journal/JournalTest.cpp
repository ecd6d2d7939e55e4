// The journal and the history read back from it: real backups, restores, failures and stops;
// a line cut short; two programs appending at once; a journal that cannot be written; damaged
// and hostile lines.
#include <gtest/gtest.h>

#include <iterator>

#include "EngineTestSupport.h"
#include "common/TempFolder.h"
#include "engine/copy/BackupItem.h"
#include "engine/copy/Restore.h"
#include "engine/journal/History.h"

namespace {

class JournalTest : public ::testing::Test {
protected:
    JournalTest() : m_data(m_temp / "data"), m_root(m_temp / "prog\\backups"), m_engine(W(m_temp / "prog")) {
        MakeFolders(m_data);
    }
    std::string Journal() const { return m_root + "\\2004-0307\\Tallowbox-journal.tsv"; }
    CHistory& Read() {
        ReadHistory(W(m_root), m_history, nullptr, {});
        return m_history;
    }
    // "kind outcome name copy" of each entry, in the history's order.
    std::vector<std::string> Listed() const {
        std::vector<std::string> listed;
        for (const HistoryEntry& entry : m_history.entries)
            listed.push_back(std::to_string(static_cast<int>(entry.kind)) +
                             std::to_string(static_cast<int>(entry.outcome)) + " " +
                             N(LastComponent(m_history.Original(entry))) + " " +
                             N(m_history.CopyPath(entry)));
        return listed;
    }

    TempFolder m_temp;
    const std::string m_data;
    const std::string m_root;
    CBackupEngine m_engine;
    RecordingHost m_host;
    CHistory m_history;
};

} // namespace

TEST_F(JournalTest, BackupsRestoresFailuresAndStopsAreReadBackNewestFirst) {
    WriteFileText(m_data + "\\report.txt", "v1");
    WriteFileText(m_data + "\\tree\\a.txt", "aaa");
    WriteFileText(m_data + "\\tree\\sub\\b.txt", "bb");
    ASSERT_TRUE(m_engine.BackUp(m_host, W(m_data + "\\report.txt"), At(2004, 3, 7, 14, 5)));
    const BackupRow backup = m_host.wideRows.back();
    ASSERT_TRUE(m_engine.BackUp(m_host, W(m_data + "\\tree"), At(2004, 3, 7, 14, 5)));
    EXPECT_FALSE(m_engine.BackUp(m_host, W(m_data + "\\missing.txt"), At(2004, 3, 7, 14, 6)));
    m_engine.RequestStop();
    EXPECT_FALSE(m_engine.BackUp(m_host, W(m_data + "\\report.txt"), At(2004, 3, 7, 14, 7)));
    m_engine.ClearStop();
    WriteFileText(m_data + "\\report.txt", "v2");
    EXPECT_TRUE(m_engine.Restore(m_host, backup, At(2004, 3, 7, 14, 8)));

    Read();
    EXPECT_EQ((std::vector<std::string>{"10 report.txt 2004-0307\\1405\\report.txt",   // the restore, from
                                        "00 report.txt 2004-0307\\1408\\report.txt",   // its safety backup
                                        "02 report.txt 2004-0307\\1407\\report.txt",   // stopped
                                        "01 missing.txt 2004-0307\\1406\\missing.txt", // failed
                                        "00 tree 2004-0307\\1405\\tree",
                                        "00 report.txt 2004-0307\\1405\\report.txt"}),
              Listed())
        << "newest first; of one moment, the record written last first";
    EXPECT_EQ(0u, m_history.unreadableLines);
    const HistoryEntry& tree = m_history.entries[4];
    EXPECT_TRUE(tree.Is(HistoryEntry::kFolder));
    EXPECT_EQ(2u, tree.files);
    EXPECT_EQ(5u, tree.bytes);
    EXPECT_EQ(2u, m_history.entries[5].bytes);
    EXPECT_NE(0, m_history.entries[5].modified) << "a file's last-write time";
    const BackupRow row = m_history.RowFor(m_history.entries[5], W(m_root));
    EXPECT_EQ(backup.backupPath, row.backupPath);
    EXPECT_TRUE(CanRestore(row));
    EXPECT_EQ(0u, ReadWhole(Journal()).rfind("#Tallowbox-journal 3\ttime\t", 0))
        << "the first line names the format";

    // Read again: a day whose folder has not changed comes from the earlier reading (which alone
    // holds this size), a day with a new record from the disk.
    m_history.entries[0].bytes = 12345;
    CHistory again, changed;
    ReadHistoryDay(W(m_root), L"2004-0307", again, &m_history);
    EXPECT_EQ((std::vector<uint64_t>{12345, 9}),
              (std::vector<uint64_t>{again.entries[0].bytes, again.totals.bytes}))
        << "the taken entries, and the copies' bytes (5 + 2 + 2)";
    ASSERT_TRUE(m_engine.BackUp(m_host, W(m_data + "\\report.txt"), At(2004, 3, 7, 14, 9)));
    ReadHistoryDay(W(m_root), L"2004-0307", changed, &m_history);
    EXPECT_EQ(7u, changed.entries.size());
    EXPECT_NE(12345u, changed.entries[1].bytes);
}

TEST_F(JournalTest, ACutLineIsSkippedAndTheNextRecordStartsOnALineOfItsOwn) {
    WriteFileText(m_data + "\\a.txt", "a");
    m_engine.BackUp(m_host, W(m_data + "\\a.txt"), At(2004, 3, 7, 14, 5));
    const std::string whole = ReadWhole(Journal());
    WriteFileText(Journal(), whole + "2004-03-07 14:05:00\tbackup\tok\tfi"); // the power went
    m_engine.BackUp(m_host, W(m_data + "\\a.txt"), At(2004, 3, 7, 14, 6));
    Read();
    EXPECT_EQ(2u, m_history.entries.size());
    EXPECT_EQ(1u, m_history.unreadableLines);
}

TEST_F(JournalTest, TwoProgramsAppendingAtOnceNeverMixTheirLines) {
    const std::string appender = WindowsPathOfBuildFile(JOURNAL_APPENDER);
    std::vector<PROCESS_INFORMATION> running;
    for (const char* tag : {"one", "two"}) {
        std::string line = "\"" + appender + "\" \"" + m_root + "\" " + tag + " 150";
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process = {};
        ASSERT_TRUE(::CreateProcessA(appender.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                     &startup, &process));
        running.push_back(process);
    }
    for (PROCESS_INFORMATION& process : running) {
        DWORD code = 1;
        EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(process.hProcess, 60000));
        ::GetExitCodeProcess(process.hProcess, &code);
        EXPECT_EQ(0u, code);
        ::CloseHandle(process.hThread);
        ::CloseHandle(process.hProcess);
    }
    Read();
    EXPECT_EQ(300u, m_history.entries.size());
    EXPECT_EQ(0u, m_history.unreadableLines);
}

TEST_F(JournalTest, AJournalThatCannotBeWrittenLeavesTheBackupWholeAndSaysWhy) {
    WriteFileText(m_data + "\\a.txt", "a");
    m_engine.BackUp(m_host, W(m_data + "\\a.txt"), At(2004, 3, 7, 14, 5));
    ASSERT_TRUE(::SetFileAttributesA(Journal().c_str(), FILE_ATTRIBUTE_READONLY));
    WriteFileText(m_data + "\\a.txt", "second");
    EXPECT_TRUE(m_engine.BackUp(m_host, W(m_data + "\\a.txt"), At(2004, 3, 7, 14, 6)));
    EXPECT_EQ("second", ReadWhole(m_root + "\\2004-0307\\1406\\a.txt"));
    EXPECT_EQ("履歴を記録できませんでした（" + N(SystemMessage(ERROR_ACCESS_DENIED)) + "）",
              m_host.statusTexts.back());
    EXPECT_EQ(0u, m_host.rows.back().destination.str().rfind(m_root, 0)) << "the row is a success as it was";
    ::SetFileAttributesA(Journal().c_str(), FILE_ATTRIBUTE_NORMAL);
}

// A journal is input: what cannot be read is counted, what could lead elsewhere is marked damaged
// and offers neither restore nor anything that opens it.
TEST_F(JournalTest, DamagedAndHostileLinesAreSkippedOrMarkedDamaged) {
    const std::string good = "2004-03-07 14:05:00\tbackup\tok\tfile\t1\t1\t0\t\tC:\\data\\a.txt\t";
    const std::string lines[] = {
        good + "2004-0307\\1405\\a.txt\t",                             // read
        good + "2004-0307\\1405\\\xff\xfe.txt\t",                      // bad UTF-8: unreadable
        good + "2004-0307\\1405\\a.txt",                               // a field missing: unreadable
        "2004-03-07 14:05:00\tmoved\tok\tfile\t1\t1\t0\t\tC:\\a\tb\t", // unknown kind: unreadable
        good + "..\\..\\Windows\\win.ini\t",                           // climbs out: damaged
        good + "C:\\Windows\\win.ini\t",                               // absolute: damaged
        good + "2004-0307\\1405\\a.txt:hidden\t",                      // a stream: damaged
        "2004-03-07 14:05:00\tbackup\tok\tfile\t1\t1\t0\t\ta.txt\t2004-0307\\1405\\a.txt\t", // no full path
        "#Tallowbox-journal 2\tfields",
        good + "2004-0307\\1405\\b.txt\t\t3\twatch",  // read
        good + "2004-0307\\1405\\c.txt\t",            // an earlier program's line below it: read
        good + "2004-0307\\1405\\d.txt\t\t0\tnobody", // unreadable
        "#Tallowbox-journal 3\tfields",
        good + "2004-0307\\1405\\f.txt\t\t0\tuser\t7\tlater", // a field added later is skipped: read
        "#Tallowbox-journal 4\tsomething\tnew",               // a stray later header: what follows is unread
        good + "2004-0307\\1405\\e.txt\t",                    // unreadable
    };
    // A device name in any form the platform takes, in the copy or the original: damaged. Names
    // that only look alike ("COM10", "CONSOLE", "com0") are files and read.
    const std::string devices[] = {"CON",
                                   "2004-0307\\1405\\NUL",
                                   "2004-0307\\1405\\con.txt",
                                   "2004-0307\\AUX\\a.txt",
                                   "2004-0307\\1405\\NUL.tar.gz",
                                   "2004-0307\\1405\\lpt9.log",
                                   "2004-0307\\1405\\COM\xc2\xb9",
                                   "2004-0307\\1405\\Lpt\xc2\xb3.txt",
                                   "2004-0307\\1405\\CON .",
                                   "2004-0307\\1405\\nul...",
                                   "2004-0307\\1405\\prn .txt"};
    const std::string lookAlikes[] = {"2004-0307\\1405\\COM10.txt", "2004-0307\\1405\\CONSOLE",
                                      "2004-0307\\1405\\com0", "2004-0307\\1405\\x.con"};
    std::string text = "#Tallowbox-journal 1\tfields\n";
    for (const std::string& device : devices)
        text += good + device + "\t\n";
    for (const std::string& lookAlike : lookAlikes)
        text += good + lookAlike + "\t\n";
    text +=
        "2004-03-07 14:05:00\tbackup\tok\tfile\t1\t1\t0\t\tC:\\data\\COM1.txt\t2004-0307\\1405\\a.txt\t\n";
    for (const std::string& line : lines)
        text += line + "\n";
    WriteFileText(Journal(), text);
    WriteFileText(m_data + "\\a.txt", "a");
    ASSERT_TRUE(m_engine.BackUp(m_host, W(m_data + "\\a.txt"), At(2004, 3, 7, 14, 9)));
    EXPECT_EQ(text + "#Tallowbox-journal 3\t", ReadWhole(Journal()).substr(0, text.size() + 21))
        << "the program's own record is appended below its own header";
    Read();
    EXPECT_EQ(5u, m_history.unreadableLines);
    ASSERT_EQ(9u + std::size(devices) + std::size(lookAlikes) + 1, m_history.entries.size());
    EXPECT_EQ("2004-0307\\1409\\a.txt", N(m_history.CopyPath(m_history.entries[0])));
    EXPECT_TRUE(m_history.entries[2].Is(HistoryEntry::kAutomatic) ||
                m_history.entries[3].Is(HistoryEntry::kAutomatic));
    EXPECT_EQ(7u, m_history.entries[1].size) << "the version 3 line, read without its later field";
    int damaged = 0;
    for (const HistoryEntry& entry : m_history.entries) {
        const BackupRow row = m_history.RowFor(entry, W(m_root));
        damaged += row.damaged;
        EXPECT_EQ(!row.damaged, CanRestore(row) && CanRestoreElsewhere(row)) << N(row.backupPath);
        if (row.damaged) {
            EXPECT_EQ(std::wstring::npos, row.backupPath.find(W(m_root)))
                << "never joined to the backups folder";
        }
    }
    EXPECT_EQ(4 + std::size(devices) + 1, static_cast<size_t>(damaged));
}

// The writer finds the journal's last header reading backwards a chunk at a time: a header whose
// line starts just before, across or after a chunk's edge is found, and its own is never doubled.
TEST_F(JournalTest, TheLastHeaderIsFoundWhereverItLiesInALongJournal) {
    const std::string header = "#Tallowbox-journal 3\tfields\n";
    for (const int across : {-30, 0, 5, 19, 30}) {
        const std::string filler(16 * 1024 + across - header.size() - 1, 'x');
        WriteFileText(Journal(), "#Tallowbox-journal 1\tfields\n" + std::string(40000, 'y') + "\n" + header +
                                     filler + "\n");
        WriteFileText(m_data + "\\a.txt", "a" + std::to_string(across));
        ASSERT_TRUE(m_engine.BackUp(m_host, W(m_data + "\\a.txt"), At(2004, 3, 7, 14, 5)));
        const std::string written = ReadWhole(Journal());
        EXPECT_EQ(written.find("#Tallowbox-journal 3"), written.rfind("#Tallowbox-journal 3")) << across;
    }
    WriteFileText(Journal(), "#Tallowbox-journal 1\tfields\n" + std::string(40000, 'y') + "\n");
    ASSERT_TRUE(m_engine.BackUp(m_host, W(m_data + "\\a.txt"), At(2004, 3, 7, 14, 6)));
    EXPECT_NE(std::string::npos, ReadWhole(Journal()).find("y\n#Tallowbox-journal 3\t"))
        << "a version 1 journal";
    Read();
    EXPECT_EQ(1u, m_history.unreadableLines) << "the long line alone";
    EXPECT_EQ(1u, m_history.entries.size());
}
