// Every version proven by its content: the hash against xxHash's own digests, a file version's
// record carrying the hash of what its copy holds, a folder version's manifest listing each file
// (a linked one taking its earlier hash unread), journals of earlier programs read as before, and
// a hostile manifest refused line by line.
#include <gtest/gtest.h>

#include "EngineTestSupport.h"
#include "common/TempFolder.h"
#include "engine/copy/BackupItem.h"
#include "engine/journal/Journal.h"
#include "engine/journal/JournalLines.h"
#include "engine/journal/Manifest.h"

namespace {

// The test vectors' input: byte i of a run of n.
std::string Pattern(size_t length) {
    std::string bytes(length, '\0');
    for (size_t i = 0; i < length; ++i)
        bytes[i] = static_cast<char>((i * 2654435761u) >> 13);
    return bytes;
}

std::string HashOf(const std::string& bytes) {
    return HashText(HashOfBytes(bytes.data(), bytes.size()));
}

class ProofTest : public ::testing::Test {
protected:
    ProofTest() : m_data(m_temp / "data"), m_program(m_temp / "prog"), m_root(m_program + "\\backups") {
        MakeFolders(m_data);
        MakeFolders(m_program);
    }
    bool Backup(CBackupEngine& engine, const std::string& item, int minute) {
        engine.BeginRun();
        return engine.BackUp(m_host, W(m_data + "\\" + item), At(2004, 3, 7, 14, minute));
    }
    std::vector<JournalRecord> Records() const {
        std::vector<JournalRecord> records;
        unsigned unreadable = 0;
        int version = kJournalVersion;
        ForEachLine(W(m_root + "\\2004-0307\\" + N(kJournalName)), &unreadable,
                    [&](const char* text, size_t length) {
                        JournalRecord record;
                        if (ParseJournalLine(text, length, &record, &version) == JournalLine::Record)
                            records.push_back(record);
                    });
        return records;
    }
    std::string Manifest(int minute) const {
        return m_root + "\\2004-0307\\Tallowbox-manifests\\140" + std::to_string(minute) + "\\tree.tsv";
    }
    // The manifest's entries by path; *reading says how it was read.
    static std::map<std::string, ManifestEntry> Entries(const std::string& manifest,
                                                        ManifestReading* reading) {
        std::map<std::string, ManifestEntry> entries;
        *reading = ReadManifest(W(manifest), [&](ManifestEntry& entry) { entries[N(entry.path)] = entry; });
        return entries;
    }
    // Each file below copy is listed with its size, time, attributes and the hash of its bytes.
    static void ExpectProven(const std::string& copy, const std::map<std::string, ManifestEntry>& entries) {
        size_t files = 0;
        for (const auto& found : ReadTree(copy)) {
            if (found.second.folder)
                continue;
            ++files;
            SCOPED_TRACE(found.first);
            const auto entry = entries.find(found.first);
            ASSERT_NE(entries.end(), entry);
            EXPECT_EQ(found.second.content.size(), entry->second.size);
            EXPECT_EQ(found.second.written,
                      (static_cast<ULONGLONG>(entry->second.modified.dwHighDateTime) << 32) |
                          entry->second.modified.dwLowDateTime);
            const DWORD kept = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
            EXPECT_EQ(found.second.attributes & kept, entry->second.attributes & kept);
            EXPECT_TRUE(entry->second.hashKnown);
            EXPECT_EQ(HashOf(found.second.content), HashText(entry->second.hash));
        }
        EXPECT_EQ(files, entries.size());
    }

    TempFolder m_temp;
    const std::string m_data, m_program, m_root;
    RecordingHost m_host;
};

} // namespace

TEST(ContentHash, GivesXxh128DigestsWholeAndInPiecesOfAnySize) {
    // As `xxhsum -H2` prints them, one length for each of the hash's paths and the edges between.
    const struct {
        size_t length;
        const char* digest;
    } kVectors[] = {{0, "99aa06d3014798d86001c324468d497f"},    {3, "95c705060a313bf8a1c4a8259b827291"},
                    {8, "2761698c33953c430234362aaf47b71a"},    {16, "29be75b0bbbb5284aafffcec5df2cb27"},
                    {128, "ba44fd018231af4cbbe087d879edcc78"},  {240, "4f49ccc8526aa7ad407883ea5ef95b9a"},
                    {241, "50b62ee1ee6455a7bc424a2c480dd281"},  {1024, "53bd178b75ab292e1fd15e7d36f5e1bc"},
                    {1025, "d1ad5f4a3cce4374fe08e5a874d23fd2"}, {100001, "de829669920c1134b737ec717d90e8bb"}};
    for (const auto& vector : kVectors) {
        const std::string bytes = Pattern(vector.length);
        EXPECT_EQ(vector.digest, HashOf(bytes)) << vector.length << " bytes";
        for (size_t piece : {1, 63, 64, 65, 300, 4096}) {
            CContentHasher hasher;
            for (size_t at = 0; at < bytes.size(); at += piece)
                hasher.Add(bytes.data() + at, std::min(piece, bytes.size() - at));
            EXPECT_EQ(vector.digest, HashText(hasher.Finish()))
                << vector.length << " bytes in pieces of " << piece;
        }
        ContentHash parsed;
        EXPECT_TRUE(ParseHashText(vector.digest, kHashTextLength, &parsed) &&
                    parsed == HashOfBytes(bytes.data(), bytes.size()));
    }
    EXPECT_EQ("06b05ab6733a618578af5f94892f3950", HashOf("abc"));
    ContentHash unused;
    for (const std::string bad : {"", "06b05ab6733a618578af5f94892f395", "06b05ab6733a618578af5f94892f39500",
                                  "06b05ab6733a618578af5f94892f395g"})
        EXPECT_FALSE(ParseHashText(bad.data(), bad.size(), &unused)) << bad;
}

TEST_F(ProofTest, AFileVersionsRecordCarriesTheHashOfTheBytesItsCopyHolds) {
    const std::string bytes = Pattern(3 * 1024 * 1024 + 17); // more than one piece of the copy
    ASSERT_TRUE(WriteFileText(m_data + "\\a.bin", bytes));
    CBackupEngine engine(W(m_program));
    ASSERT_TRUE(Backup(engine, "a.bin", 5));
    ASSERT_TRUE(Backup(engine, "a.bin", 6)); // unchanged: its record names the first copy, and its proof
    ASSERT_TRUE(WriteFileText(m_program + "\\Tallowbox.ini", "[Tallowbox]\nHash=no\n"));
    ASSERT_TRUE(WriteFileText(m_data + "\\a.bin", "other"));
    CBackupEngine unproven(W(m_program));
    ASSERT_TRUE(Backup(unproven, "a.bin", 7));

    const std::vector<JournalRecord> records = Records();
    ASSERT_EQ(3u, records.size());
    EXPECT_TRUE(records[0].hashKnown && records[1].hashKnown && records[1].unchanged);
    EXPECT_EQ(HashOf(bytes), HashText(records[0].hash));
    EXPECT_EQ(HashOf(ReadWhole(m_root + "\\2004-0307\\1405\\a.bin")), HashText(records[1].hash));
    EXPECT_FALSE(records[2].hashKnown) << "Hash=no makes a version as before hashes";
}

TEST_F(ProofTest, AFolderVersionsManifestProvesEachFileAndLinkedFilesTakeTheirEarlierHashUnread) {
    WriteFileText(m_data + "\\tree\\a.txt", "a");
    WriteFileText(m_data + "\\tree\\sub\\b.bin", Pattern(70000));
    WriteFileWithAttributes(m_data + "\\tree\\kept.txt", "kept",
                            FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    CBackupEngine engine(W(m_program));
    ASSERT_TRUE(Backup(engine, "tree", 5));
    ManifestReading reading;
    auto entries = Entries(Manifest(5), &reading);
    EXPECT_TRUE(reading.opened && reading.whole && reading.refused == 0);
    ExpectProven(m_root + "\\2004-0307\\1405\\tree", entries);
    ASSERT_EQ(1u, Records().size());
    EXPECT_TRUE(Records()[0].hashKnown && Records()[0].hash == reading.hash)
        << "the journal proves the manifest";
    EXPECT_EQ(std::vector<std::string>{"tree"}, ListFolder(m_root + "\\2004-0307\\1405"))
        << "nothing beside the copy";

    // a.txt unchanged and unreadable meanwhile: linked, its hash can only come from the manifest.
    WriteFileText(m_data + "\\tree\\sub\\b.bin", Pattern(70001));
    HANDLE locked =
        CreateFileA((m_data + "\\tree\\a.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, locked);
    EXPECT_TRUE(Backup(engine, "tree", 6));
    CloseHandle(locked);
    entries = Entries(Manifest(6), &reading);
    ExpectProven(m_root + "\\2004-0307\\1406\\tree", entries);
    EXPECT_EQ(2u, m_host.wideRows.size());

    // An earlier version without a manifest (as before hashes): its linked files are proven by
    // their sources, read once; one that cannot be read stays not yet checked.
    ASSERT_TRUE(DeleteFileA(Manifest(6).c_str()));
    ASSERT_TRUE(Backup(engine, "tree", 7));
    ExpectProven(m_root + "\\2004-0307\\1407\\tree", Entries(Manifest(7), &reading));
    ASSERT_TRUE(DeleteFileA(Manifest(7).c_str()));
    locked =
        CreateFileA((m_data + "\\tree\\a.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_TRUE(Backup(engine, "tree", 8));
    CloseHandle(locked);
    entries = Entries(Manifest(8), &reading);
    EXPECT_FALSE(entries["a.txt"].hashKnown);
    EXPECT_TRUE(entries["sub\\b.bin"].hashKnown);
}

TEST_F(ProofTest, EarlierJournalsAreReadAsBeforeTheirCopiesNotYetChecked) {
    const std::string fields =
        "2004-03-07 14:05:00\tbackup\tok\tfile\t1\t1\t0\t\tC:\\a.txt\t2004-0307\\1405\\a.txt\t";
    const std::string digest = HashOf("a");
    const struct {
        int version;
        std::string line;
        bool hashKnown;
    } kLines[] = {
        {1, fields, false},
        {2, fields + "\t0\tuser", false},
        {3, fields + "\t0\tuser\t1", false},                         // 0.15's
        {3, fields + "\t0\tuser\t1\t\t" + digest, true},             // this program's, no error
        {3, fields + "\t0\tuser\t1\t\t" + digest + "\tlater", true}, // a later one's, read without its field
        {3, fields + "\t0\tuser\t1\t\tsha3:" + digest, false},       // a hash of another kind proves nothing
        {3, fields + "\t0\tuser\t1\t" + digest, false},              // a hash where the error stands
    };
    for (const auto& line : kLines) {
        JournalRecord record;
        int version = line.version;
        ASSERT_EQ(JournalLine::Record,
                  ParseJournalLine(line.line.data(), line.line.size(), &record, &version))
            << line.line;
        EXPECT_EQ(line.hashKnown, record.hashKnown) << line.line;
        if (record.hashKnown) {
            EXPECT_EQ(digest, HashText(record.hash));
            // Written back as this program writes it: the same record, its hash last.
            const std::string again = FormatJournalLine(record);
            JournalRecord reread;
            ASSERT_EQ(JournalLine::Record,
                      ParseJournalLine(again.data(), again.size() - 1, &reread, &version));
            EXPECT_TRUE(reread.hashKnown && reread.hash == record.hash);
            EXPECT_EQ("\t" + digest + "\n", again.substr(again.size() - kHashTextLength - 2));
        }
    }
    EXPECT_EQ(0u, JournalHeaderLine().find("#Tallowbox-journal 3\t")) << "still the version 0.15 reads";
}

TEST_F(ProofTest, AHostileManifestIsRefusedLineByLineAndNothingOutsideIsReadOrWritten) {
    WriteFileText(m_data + "\\tree\\a.txt", "a");
    WriteFileText(m_temp / "outside.txt", "outside");
    CBackupEngine engine(W(m_program));
    ASSERT_TRUE(Backup(engine, "tree", 5));
    const std::string time = "\t2004-03-07T05:00:00.0000000Z\t32\t";
    const std::string good = "b.txt\t1" + time + HashOf("b") + "\n", digest = HashOf("outside");
    std::string hostile = "#Tallowbox-manifest 1\tpath\tsize\tmodified\tattributes\thash\n" + good +
                          "..\\..\\..\\..\\outside.txt\t7" + time + digest + "\n" +     // climbs out
                          "C:\\Windows\\win.ini\t7" + time + digest + "\n" +            // absolute
                          "\\\\server\\share\\x.txt\t7" + time + digest + "\n" +        // a share
                          "CON\t7" + time + digest + "\n" +                             // a device
                          "sub\\nul.txt\t7" + time + digest + "\n" +                    // a device, deeper
                          "a.txt:hidden\t7" + time + digest + "\n" +                    // a stream
                          std::string(100 * 1024, 'x') + "\t7" + time + digest + "\n" + // a 100 KB line
                          "c.txt\t1" + time + digest.substr(1) + "\n" +                 // a hash too short
                          "d.txt\t1" + time + digest + "0\n" +                          // and too long
                          "B.TXT\t1" + time + digest + "\n" +                           // b.txt again
                          "e.txt\t1\tyesterday\t32\t" + digest + "\n" +                 // no time
                          "f.txt\t1\n" +                                                // fields missing
                          "g.txt\t1" + time + "\n"; // no hash: not yet checked
    ASSERT_TRUE(WriteFileText(Manifest(5), hostile));
    ManifestReading reading;
    const auto entries = Entries(Manifest(5), &reading);
    EXPECT_EQ((std::vector<std::string>{"b.txt", "g.txt"}),
              (std::vector<std::string>{entries.begin()->first, entries.rbegin()->first}));
    EXPECT_EQ(2u, entries.size());
    EXPECT_EQ(12u, reading.refused);
    EXPECT_TRUE(reading.opened && reading.whole);
    EXPECT_TRUE(ReadTrustedManifest(W(m_root), L"2004-0307\\1405\\tree", reading.hash).empty())
        << "a manifest with refused lines is never taken on trust, whatever its hash";

    // The journal made to vouch for it: the next version still proves its files from their sources.
    std::string journal = ReadWhole(m_root + "\\2004-0307\\" + N(kJournalName));
    journal.replace(journal.find(HashText(Records()[0].hash)), kHashTextLength, HashText(reading.hash));
    ASSERT_TRUE(WriteFileText(m_root + "\\2004-0307\\" + N(kJournalName), journal));
    ASSERT_TRUE(Backup(engine, "tree", 6));
    ExpectProven(m_root + "\\2004-0307\\1406\\tree", Entries(Manifest(6), &reading));
    EXPECT_EQ("outside", ReadWhole(m_temp / "outside.txt"));
    EXPECT_EQ((std::vector<std::string>{"1405", "1406", "Tallowbox-journal.tsv", "Tallowbox-manifests"}),
              ListFolder(m_root + "\\2004-0307"));
}
