// Every copy read back against its hash in both places, and healed from a good copy: real backups,
// a mirror copied from them, bytes flipped on the disk with the size and time kept.
#include <gtest/gtest.h>

#include "EngineTestSupport.h"
#include "common/TempFolder.h"
#include "engine/copy/BackupItem.h"
#include "engine/journal/CopyWay.h"
#include "engine/mirror/MirrorHistory.h"
#include "engine/proof/Repair.h"

namespace {

// The mirror as the mirror would hold it: every folder and file of from, times kept, no link.
void CopyTree(const std::string& from, const std::string& to) {
    MakeFolders(to);
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((from + "\\*").c_str(), &found);
    ASSERT_NE(INVALID_HANDLE_VALUE, find);
    do {
        const std::string name = found.cFileName;
        if (name == "." || name == "..")
            continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            CopyTree(from + "\\" + name, to + "\\" + name);
        else
            EXPECT_TRUE(CopyFileA((from + "\\" + name).c_str(), (to + "\\" + name).c_str(), TRUE)) << name;
    } while (FindNextFileA(find, &found));
    FindClose(find);
}

std::string Pattern(size_t length) {
    std::string bytes(length, '\0');
    for (size_t i = 0; i < length; ++i)
        bytes[i] = static_cast<char>(i * 31 + 7);
    return bytes;
}

class CopyProofTest : public ::testing::Test {
protected:
    CopyProofTest()
        : m_data(m_temp / "data"), m_program(m_temp / "prog"), m_root(m_program + "\\backups"),
          m_mirror(m_temp / "mirror") {
        WriteFileText(m_data + "\\f.txt", "the file's words");
        WriteFileText(m_data + "\\tree\\a.txt", "a");
        WriteFileText(m_data + "\\tree\\sub\\b.bin", Pattern(70000));
        MakeFolders(m_program);
    }
    // f.txt at 14:05, tree at 14:05 and (its files linked) at 14:06, the mirror copied from them.
    void BackUpAndMirror(bool hashes = true) {
        if (!hashes) {
            ASSERT_TRUE(WriteFileText(m_program + "\\Tallowbox.ini", "[Tallowbox]\nHash=no\n"));
        }
        CBackupEngine engine(W(m_program));
        for (const auto& item : {std::make_pair("f.txt", 5), {"tree", 5}, {"tree", 6}}) {
            engine.BeginRun();
            ASSERT_TRUE(engine.BackUp(m_host, W(m_data + "\\" + item.first), At(2004, 3, 7, 14, item.second)));
        }
        CopyTree(m_root + "\\2004-0307", m_mirror + "\\2004-0307");
        Reread();
    }
    void Reread() {
        m_history = std::make_unique<CHistory>();
        ReadHistoryDayOfBoth(W(m_root), W(m_mirror), L"2004-0307", *m_history);
        ASSERT_EQ(DWORD(ERROR_SUCCESS), m_ledger.Load(W(m_root)));
    }
    const HistoryEntry& Entry(const std::string& copy) const {
        for (const HistoryEntry& entry : m_history->entries)
            if (N(m_history->CopyPath(entry)) == copy && HasCopyToProve(entry))
                return entry;
        ADD_FAILURE() << "no version " << copy;
        return m_history->entries.front();
    }
    VersionProof Prove(const std::string& copy) {
        CReadOnce once;
        return ProveVersion(*m_history, Entry(copy), W(m_root), W(m_mirror), m_ledger, once, nullptr);
    }
    RepairResult Repair(const std::string& copy, const VersionProof& proof) {
        CReadOnce once;
        return RepairVersion(*m_history, Entry(copy), W(m_root), W(m_mirror), proof, m_ledger, once, nullptr);
    }
    std::string Place(size_t place) const { return place == 0 ? m_root : m_mirror; }

    TempFolder m_temp;
    const std::string m_data, m_program, m_root, m_mirror;
    RecordingHost m_host;
    std::unique_ptr<CHistory> m_history;
    CCheckLedger m_ledger;
};

} // namespace

// A second backup of f.txt within the same minute replaces its copy here; the mirror keeps the
// first. The first record's copy here is the second's now, and the mirror's copy could be either
// record's: neither is called damaged, nothing is "healed" with another record's bytes.
TEST_F(CopyProofTest, ACopyReplacedWithinItsMinuteIsTheLaterRecordsAlone) {
    BackUpAndMirror();
    const std::string edited = "the file's words, edited within the minute", kF = "2004-0307\\1405\\f.txt";
    ASSERT_TRUE(WriteFileText(m_data + "\\f.txt", edited));
    CBackupEngine engine(W(m_program));
    engine.BeginRun();
    ASSERT_TRUE(engine.BackUp(m_host, W(m_data + "\\f.txt"), At(2004, 3, 7, 14, 5)));
    Reread();
    std::vector<const HistoryEntry*> records; // newest first
    for (const HistoryEntry& entry : m_history->entries)
        if (N(m_history->CopyPath(entry)) == kF && HasCopyToProve(entry))
            records.push_back(&entry);
    ASSERT_EQ(2u, records.size());
    CReadOnce once;
    std::string states;
    for (const HistoryEntry* record : records) {
        const VersionProof proof = ProveVersion(*m_history, *record, W(m_root), W(m_mirror), m_ledger, once, nullptr);
        for (const PlaceProof& place : proof.place)
            states += "GDUAR"[static_cast<int>(place.state)];
        EXPECT_TRUE(RepairVersion(*m_history, *record, W(m_root), W(m_mirror), proof, m_ledger, once, nullptr)
                        .files.empty());
        states += ";";
    }
    EXPECT_EQ("GA;AA;", states) << "only the later record's copy here is proven";
    EXPECT_EQ(edited, ReadWhole(m_root + "\\" + kF));
    EXPECT_EQ("the file's words", ReadWhole(m_mirror + "\\" + kF));
}

TEST_F(CopyProofTest, DamageInEitherPlaceIsFoundNamedAndHealedWithEveryVersionSharingTheFile) {
    BackUpAndMirror();
    const std::string kB = "2004-0307\\1405\\tree\\sub\\b.bin", kF = "2004-0307\\1405\\f.txt";
    for (size_t place = 0; place < 2; ++place) {
        SCOPED_TRACE(place == 0 ? "here" : "mirror");
        ASSERT_TRUE(FlipByteKeepingTime(Place(place) + "\\" + kB, 65536 + 3));
        ASSERT_TRUE(DeleteFileA((Place(place) + "\\" + kF).c_str()));
        // The later version's manifest lost here, damaged in the mirror: put back from the other place.
        const std::string manifest = "\\2004-0307\\Tallowbox-manifests\\1406\\tree.tsv";
        ASSERT_TRUE(place == 0 ? DeleteFileA((Place(place) + manifest).c_str()) != 0
                               : FlipByteKeepingTime(Place(place) + manifest, 10));
        // Here the later version links the same file: it is damaged with it, and healed with it.
        const size_t linked = place == 0 ? 1 : 0;
        for (const char* copy : {"2004-0307\\1406\\tree", "2004-0307\\1405\\tree"}) {
            const VersionProof proof = Prove(copy);
            EXPECT_EQ(ProofState::Good, proof.place[1 - place].state) << copy;
            if (std::string(copy).find("1406") != std::string::npos && place == 1) {
                EXPECT_EQ(ProofState::Good, proof.place[place].state) << "the mirror's copies are not linked";
                continue;
            }
            ASSERT_EQ(ProofState::Damaged, proof.place[place].state) << copy;
            ASSERT_EQ(1u, proof.place[place].findings.size());
            EXPECT_EQ(L"sub\\b.bin", proof.place[place].findings[0].path);
            EXPECT_FALSE(proof.place[place].findings[0].missing);
            EXPECT_EQ(1u, m_ledger.DamagedFiles(W(copy), static_cast<ProofPlace>(place)).size());
            const RepairResult repaired = Repair(copy, proof);
            ASSERT_EQ(1u, repaired.files.size());
            EXPECT_TRUE(repaired.AllHealed());
            EXPECT_EQ(static_cast<ProofPlace>(1 - place), repaired.files[0].from);
            EXPECT_EQ(linked, repaired.files[0].otherNames);
            break; // the other version was healed with it
        }
        const VersionProof file = Prove(kF);
        ASSERT_EQ(ProofState::Damaged, file.place[place].state);
        EXPECT_TRUE(file.place[place].findings.at(0).missing);
        EXPECT_TRUE(Repair(kF, file).AllHealed());
        for (const std::string& copy : {std::string("2004-0307\\1405\\tree"), std::string("2004-0307\\1406\\tree"), kF}) {
            const VersionProof after = Prove(copy);
            EXPECT_TRUE(after.place[0].state == ProofState::Good && after.place[1].state == ProofState::Good) << copy;
            CheckMark mark;
            EXPECT_TRUE(m_ledger.Find(W(copy), &mark) && mark.state[place] == ProofState::Good) << copy;
        }
        EXPECT_EQ(Pattern(70000), ReadWhole(Place(place) + "\\2004-0307\\1406\\tree\\sub\\b.bin"));
        EXPECT_EQ(ReadWhole(Place(1 - place) + manifest), ReadWhole(Place(place) + manifest));
        EXPECT_EQ("the file's words", ReadWhole(Place(place) + "\\" + kF));
    }
}

TEST_F(CopyProofTest, WithNoGoodCopyNothingIsOverwrittenAndAnUnchangedOriginalServes) {
    BackUpAndMirror();
    const std::string kF = "2004-0307\\1405\\f.txt";
    for (size_t place = 0; place < 2; ++place)
        ASSERT_TRUE(FlipByteKeepingTime(Place(place) + "\\" + kF, 2));
    const std::string damaged = ReadWhole(m_root + "\\" + kF);
    ASSERT_TRUE(WriteFileText(m_data + "\\f.txt", "the file's words, edited"));
    VersionProof proof = Prove(kF);
    ASSERT_TRUE(proof.place[0].state == ProofState::Damaged && proof.place[1].state == ProofState::Damaged);
    RepairResult repaired = Repair(kF, proof);
    ASSERT_EQ(2u, repaired.files.size());
    for (const RepairedFile& file : repaired.files)
        EXPECT_EQ(RepairOutcome::NoGoodCopy, file.outcome);
    EXPECT_EQ(damaged, ReadWhole(m_root + "\\" + kF));
    EXPECT_EQ(damaged, ReadWhole(m_mirror + "\\" + kF));
    EXPECT_TRUE(ListFolder(m_root + "\\2004-0307\\1405") == ListFolder(m_mirror + "\\2004-0307\\1405"))
        << "no temporary left";

    // The original back as it was copied (its bytes and time): it gives the good bytes.
    const FILETIME copied = [&] {
        WIN32_FILE_ATTRIBUTE_DATA data{};
        GetFileAttributesExA((m_root + "\\" + kF).c_str(), GetFileExInfoStandard, &data);
        return data.ftLastWriteTime;
    }();
    ASSERT_TRUE(WriteFileText(m_data + "\\f.txt", "the file's words"));
    HANDLE original = CreateFileA((m_data + "\\f.txt").c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0,
                                  nullptr);
    ASSERT_TRUE(SetFileTime(original, nullptr, nullptr, &copied));
    CloseHandle(original);
    repaired = Repair(kF, proof);
    ASSERT_EQ(2u, repaired.files.size());
    EXPECT_TRUE(repaired.AllHealed() && repaired.files[0].fromOriginal && repaired.files[1].fromOriginal);
    proof = Prove(kF);
    EXPECT_TRUE(proof.place[0].state == ProofState::Good && proof.place[1].state == ProofState::Good);
}

TEST_F(CopyProofTest, AVersionMadeBeforeHashesIsComparedAndTheHashItsPlacesAgreeOnProvesItLater) {
    BackUpAndMirror(false);
    for (const std::string copy : {"2004-0307\\1405\\f.txt", "2004-0307\\1405\\tree"}) {
        SCOPED_TRACE(copy);
        VersionProof proof = Prove(copy);
        EXPECT_EQ(ProofState::Unproven, proof.place[0].state);
        EXPECT_TRUE(proof.compared && proof.agreed);
        ContentHash agreed;
        EXPECT_TRUE(m_ledger.AgreedHash(W(copy), &agreed));
        ASSERT_EQ(DWORD(ERROR_SUCCESS), m_ledger.Load(W(m_root))); // kept in the ledger's file
        EXPECT_EQ(ProofState::Good, Prove(copy).place[1].state);
        const std::string flipped = copy.find("tree") != std::string::npos ? copy + "\\a.txt" : copy;
        ASSERT_TRUE(FlipByteKeepingTime(m_mirror + "\\" + flipped, 0));
        proof = Prove(copy);
        EXPECT_TRUE(proof.place[0].state == ProofState::Good && proof.place[1].state == ProofState::Damaged);
        EXPECT_TRUE(Repair(copy, proof).AllHealed());
    }
    // Two places that differ cannot say which is right: nothing recorded, nothing healed.
    ASSERT_TRUE(FlipByteKeepingTime(m_mirror + "\\2004-0307\\1406\\tree\\sub\\b.bin", 9));
    const VersionProof differing = Prove("2004-0307\\1406\\tree");
    EXPECT_TRUE(differing.compared && !differing.agreed);
    ContentHash none;
    EXPECT_FALSE(m_ledger.AgreedHash(L"2004-0307\\1406\\tree", &none));
    EXPECT_TRUE(Repair("2004-0307\\1406\\tree", differing).files.empty());
}

TEST_F(CopyProofTest, AHostileManifestIsRefusedAndNothingOutsideTheCopiesIsReadOrWritten) {
    BackUpAndMirror();
    const std::string kTree = "2004-0307\\1405\\tree", outside = m_program + "\\outside.txt";
    ASSERT_TRUE(WriteFileText(outside, "not a copy"));
    const std::string header = "#Tallowbox-manifest 1\tpath\tsize\tmodified\tattributes\thash\n",
                      tail = "\t10\t2004-03-07T05:05:00.0000000Z\t32\t" + HashText(HashOfBytes("not a copy", 10));
    const std::string kLines[] = {"..\\..\\..\\..\\outside.txt" + tail, "CON" + tail, "sub\\nul.txt" + tail,
                                  std::string(100 * 1024, 'x') + tail, "a.txt" + tail.substr(0, tail.size() - 1)};
    for (const std::string& line : kLines) {
        SCOPED_TRACE(line.substr(0, 40));
        const std::string manifest = header + "a.txt" + tail + "\n" + line + "\n";
        ASSERT_TRUE(WriteFileText(m_root + "\\2004-0307\\Tallowbox-manifests\\1405\\tree.tsv", manifest));
        // A journal rewritten to match: the manifest's lines are still refused, nothing is read.
        CReadOnce once;
        const PlaceProof proof = ProveCopy(W(m_root), W(kTree), true, HashOfBytes(manifest.data(), manifest.size()),
                                           true, once, nullptr);
        EXPECT_EQ(ProofState::Unproven, proof.state);
        EXPECT_EQ(0u, proof.bytesRead);
    }
    // A finding that names a path out of the copy (a ledger's or a caller's) is healed from nowhere.
    VersionProof forged;
    forged.place[0].state = ProofState::Damaged;
    forged.place[0].findings.push_back({L"..\\..\\..\\..\\outside.txt", false, ContentHash()});
    forged.place[1].state = ProofState::Good;
    EXPECT_TRUE(Repair(kTree, forged).files.empty());
    EXPECT_EQ("not a copy", ReadWhole(outside));

    // A link planted inside a copy is not read through; the mirror's copy still proves its own.
    ASSERT_TRUE(MoveFileA((m_root + "\\2004-0307\\1406\\tree\\sub").c_str(), (m_temp / "elsewhere").c_str()));
    UnixSymlink link(m_root + "\\2004-0307\\1406\\tree\\sub", "../../../../../elsewhere");
    ASSERT_TRUE(link.made());
    const VersionProof linked = Prove("2004-0307\\1406\\tree");
    EXPECT_EQ(ProofState::Unreadable, linked.place[0].state);
    EXPECT_EQ(kLinkOnTheWay, linked.place[0].error);
    EXPECT_EQ(ProofState::Good, linked.place[1].state);
}

TEST_F(CopyProofTest, TheLedgerSurvivesAReloadAndSkipsLinesItCannotRead) {
    MakeFolders(m_root);
    ASSERT_EQ(DWORD(ERROR_SUCCESS), m_ledger.Load(W(m_root)));
    PlaceProof damaged;
    damaged.state = ProofState::Damaged;
    damaged.findings = {{L"photos\\a.jpg", false, HashOfBytes("a", 1)}, {L"b.txt", true, HashOfBytes("b", 1)}};
    PlaceProof good;
    good.state = ProofState::Good;
    const std::wstring kCopy = L"2004-0307\\1405\\tree", kOther = L"2004-0307\\1405\\f.txt";
    EXPECT_EQ(DWORD(ERROR_SUCCESS), m_ledger.Record(kCopy, ProofPlace::Mirror, damaged, 7));
    EXPECT_EQ(DWORD(ERROR_SUCCESS), m_ledger.Record(kCopy, ProofPlace::Here, good, 8));
    EXPECT_EQ(DWORD(ERROR_SUCCESS), m_ledger.MarkReported(kCopy));
    EXPECT_EQ(DWORD(ERROR_SUCCESS), m_ledger.RecordAgreedHash(kOther, HashOfBytes("f", 1)));
    // Lines another program or a damaged disk left: a climbing copy, an unknown state or kind, a
    // line cut short.
    std::string text = ReadWhole(m_root + "\\Tallowbox-checks.tsv");
    text += "checked\t..\\..\\x\there\tgood\t1\nchecked\t2004-0307\\1405\\f.txt\there\tbroken\t1\nnonsense\n"
            "checked\t2004-0307\\1405\\f.txt\there\tgo";
    ASSERT_TRUE(WriteFileText(m_root + "\\Tallowbox-checks.tsv", text));
    for (int load = 0; load < 2; ++load) {
        CCheckLedger ledger;
        ASSERT_EQ(DWORD(ERROR_SUCCESS), ledger.Load(W(m_root)));
        EXPECT_EQ(4u, ledger.UnreadableLines());
        EXPECT_EQ(load == 0 ? 1u : 2u, ledger.Count());
        CheckMark mark;
        ASSERT_TRUE(ledger.Find(L"2004-0307\\1405\\TREE", &mark)) << "case aside, as the disk";
        EXPECT_TRUE(mark.state[0] == ProofState::Good && mark.state[1] == ProofState::Damaged && mark.reported);
        EXPECT_TRUE(mark.checked[0] == 8 && mark.checked[1] == 7);
        const std::vector<ProofFinding> files = ledger.DamagedFiles(kCopy, ProofPlace::Mirror);
        ASSERT_EQ(2u, files.size());
        EXPECT_TRUE(files[0].path == L"photos\\a.jpg" && !files[0].missing && files[1].missing);
        EXPECT_TRUE(ledger.DamagedFiles(kCopy, ProofPlace::Here).empty());
        ContentHash agreed;
        EXPECT_TRUE(ledger.AgreedHash(kOther, &agreed) && agreed == HashOfBytes("f", 1));
        // After the line cut short: it is ended first, this line stands on its own.
        if (load == 0)
            EXPECT_EQ(DWORD(ERROR_SUCCESS), ledger.Record(kOther, ProofPlace::Here, good, 9));
        else
            EXPECT_TRUE(ledger.Find(kOther, &mark) && mark.checked[0] == 9);
    }
    // Many copies, as a long history has them: each keeps its own mark as the table grows and
    // after a reload.
    const int kMany = 1500;
    const auto many = [](int i) { return L"2005-0101\\" + std::to_wstring(i); };
    for (int i = 0; i < kMany; ++i)
        ASSERT_EQ(DWORD(ERROR_SUCCESS), m_ledger.Record(many(i), ProofPlace::Here, good, i + 100));
    CCheckLedger reloaded;
    ASSERT_EQ(DWORD(ERROR_SUCCESS), reloaded.Load(W(m_root)));
    for (const CCheckLedger* ledger : {&m_ledger, &reloaded}) {
        // kCopy, and kOther recorded above by another ledger of the folder: the reload sees it.
        EXPECT_EQ(size_t(kMany) + (ledger == &reloaded ? 2 : 1), ledger->Count());
        int wrong = 0;
        CheckMark mark;
        for (int i = 0; i < kMany; ++i)
            wrong += !ledger->Find(many(i), &mark) || mark.checked[0] != i + 100;
        EXPECT_EQ(0, wrong);
    }
}
