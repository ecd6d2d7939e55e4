// Search inside every version, on versions the engine made on a real disk: the versions that hold
// the text, where it went, texts in each encoding and a document read as text, a linked file read
// once, links planted in a copy left alone, the matching rules, and a stop.
#include <gtest/gtest.h>

#include <map>

#include "../EngineTestSupport.h"
#include "../office/TestZip.h"
#include "common/TempFolder.h"
#include "engine/mirror/MirrorHistory.h"
#include "engine/search/ContentSearch.h"
#include "engine/search/TextMatch.h"

namespace {

class RecordingSearchHost : public CSearchHost {
public:
    void HitChanged(const ContentHit& hit) override { hits[hit.item] = hit; }
    void Progress(const ContentSearchCounts& now) override {
        counts = now;
        if (stopAfter != 0 && now.versions >= stopAfter)
            stop = TRUE;
    }
    std::map<std::wstring, ContentHit> hits; // by item
    ContentSearchCounts counts;
    uint64_t stopAfter = 0;
    BOOL stop = FALSE;
};

class ContentSearchTest : public ::testing::Test {
protected:
    ContentSearchTest() : m_data(m_temp / "data"), m_program(m_temp / "prog"), m_root(m_program + "\\backups") {
        MakeFolders(m_program);
    }
    void BackUp(const std::vector<std::string>& items, int minute) {
        m_engine.BeginRun();
        for (const std::string& item : items)
            ASSERT_TRUE(m_engine.BackUp(m_host, W(m_data + "\\" + item), At(2004, 3, 7, 14, minute))) << item;
    }
    // Of this computer's backups folder, or of it and a mirror.
    ContentSearchOutcome Search(const std::wstring& text, RecordingSearchHost& host,
                                const std::string& mirror = std::string()) {
        m_history = std::make_unique<CHistory>();
        for (const std::wstring& day : HistoryDaysOfBoth(W(m_root), W(mirror)))
            ReadHistoryDayOfBoth(W(m_root), W(mirror), day, *m_history);
        ContentSearchRequest request;
        request.text = text;
        request.backupRoot = W(m_root);
        request.mirrorRoot = W(mirror);
        return SearchContent(*m_history, request, &host.stop, host);
    }
    int MinuteOf(uint32_t entry) const {
        return entry == ContentHit::kNone ? -1 : FromTicks(m_history->entries[entry].time).wMinute;
    }

    TempFolder m_temp;
    const std::string m_data, m_program, m_root;
    RecordingHost m_host;
    CBackupEngine m_engine{W(m_program)};
    std::unique_ptr<CHistory> m_history;
};

std::string Utf16WithMark(const std::wstring& text) {
    return "\xFF\xFE" + std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
}

std::string WordWith(const std::string& utf8) {
    return MakeZip({{"word/document.xml",
                     "<w:document><w:body><w:p><w:r><w:t>" + utf8 + "</w:t></w:r></w:p></w:body></w:document>"}});
}

} // namespace

TEST_F(ContentSearchTest, TheVersionsThatHoldItWhereItWentAndEachContentReadOnce) {
    const std::string report = m_data + "\\report.txt", tree = m_data + "\\tree";
    WriteFileText(report, N(L"序文\r\n消える段落の文\r\n結び")); // Shift_JIS
    WriteFileText(tree + "\\note.docx", WordWith("\xE6\xB6\x88\xE3\x81\x88\xE3\x82\x8B\xE6\xAE\xB5\xE8\x90\xBD"
                                                 "\xE3\x81\xAF\xE6\x96\x87\xE6\x9B\xB8\xE3\x81\xAB\xE3\x82\x82"));
    WriteFileText(tree + "\\data.bin", std::string("\0\x01\x02消える段落", 13));
    WriteFileText(tree + "\\sub\\other.txt", "\xEF\xBB\xBFunrelated");
    BackUp({"report.txt", "tree"}, 1);
    WriteFileText(report, Utf16WithMark(L"序文\r\n消える段落の文\r\n結び\r\n追記"));
    WriteFileText(tree + "\\sub\\other.txt", "unrelated, changed");
    BackUp({"report.txt", "tree"}, 2);
    WriteFileText(report, "plain\r\n");
    ASSERT_TRUE(DeleteFileA((tree + "\\note.docx").c_str()));
    BackUp({"report.txt", "tree"}, 3);
    WriteFileText(report, "plain\r\nmore\r\n");
    BackUp({"report.txt"}, 4);
    // Contents of earlier versions again, copied anew (unlike the previous copy: not linked).
    WriteFileText(report, "plain\r\n");
    WriteFileText(tree + "\\sub\\other.txt", "\xEF\xBB\xBFunrelated");
    BackUp({"report.txt", "tree"}, 5);
    // A link planted in a copy, to a folder outside the backups that holds the text, is never entered.
    WriteFileText(m_temp / "outside\\secret.txt", N(L"消える段落"));
    const UnixSymlink planted(m_root + "\\2004-0307\\1402\\tree\\planted", "../../../../../outside");
    ASSERT_TRUE(planted.made());

    RecordingSearchHost host;
    ASSERT_EQ(ContentSearchOutcome::Done, Search(L"消える段落", host));
    const struct {
        std::wstring item;
        int first, last, wentTo;
        bool wentMissing;
        uint32_t line;
        std::wstring lineText;
    } expected[] = {
        {W(report), 1, 2, 3, false, 1, L"消える段落の文"},
        {W(tree) + L"\\note.docx", 1, 2, 3, true, 0, L"消える段落は文書にも"},
    };
    ASSERT_EQ(2u, host.hits.size()) << "the binary file and the planted link hold it too, unread";
    for (const auto& want : expected) {
        const auto found = host.hits.find(want.item);
        ASSERT_NE(host.hits.end(), found) << N(want.item);
        const ContentHit& hit = found->second;
        EXPECT_EQ(want.first, MinuteOf(hit.first)) << N(want.item);
        EXPECT_EQ(want.last, MinuteOf(hit.last)) << N(want.item);
        EXPECT_EQ(want.wentTo, MinuteOf(hit.wentTo)) << N(want.item);
        EXPECT_EQ(want.wentMissing, hit.wentMissing) << N(want.item);
        EXPECT_EQ(2u, hit.versions) << N(want.item);
        EXPECT_EQ(want.line, hit.line) << N(want.item);
        EXPECT_EQ(want.lineText, hit.lineText) << N(want.item);
    }
    // report.txt 4 contents; note.docx and data.bin linked into the later versions, read once each;
    // other.txt changed once, then linked; the contents held again known by their hashes, unread.
    EXPECT_EQ(4u + 1 + 1 + 2, host.counts.read);
    EXPECT_EQ(1u, host.counts.skipped) << "data.bin";
    EXPECT_EQ(0u, host.counts.unreadable);
    EXPECT_EQ(9u, host.counts.versions);
    EXPECT_EQ(host.counts.toLook, host.counts.versions);

    // The oldest versions now only in the mirror are read there: the same files, read as often.
    const std::string day = "\\2004-0307", mirror = m_temp / "mirror";
    ASSERT_TRUE(MakeFolders(mirror + day));
    ASSERT_TRUE(MoveFileA((m_root + day + "\\1401").c_str(), (mirror + day + "\\1401").c_str()));
    const std::string journal = day + "\\" + N(kJournalName);
    ASSERT_TRUE(CopyFileA((m_root + journal).c_str(), (mirror + journal).c_str(), TRUE));
    const std::string manifest =
        day + "\\Tallowbox-manifests\\1401\\tree.tsv"; // beside its copy, as mirrored
    ASSERT_TRUE(MakeFolders(mirror + day + "\\Tallowbox-manifests\\1401") &&
                CopyFileA((m_root + manifest).c_str(), (mirror + manifest).c_str(), TRUE));
    RecordingSearchHost both;
    ASSERT_EQ(ContentSearchOutcome::Done, Search(L"消える段落", both, mirror));
    for (const auto& want : expected)
        EXPECT_EQ(1, MinuteOf(both.hits[want.item].first)) << N(want.item);
    EXPECT_EQ(host.counts.read, both.counts.read);
    EXPECT_EQ(0u, both.counts.unreadable);

    RecordingSearchHost stopped;
    stopped.stopAfter = 2;
    EXPECT_EQ(ContentSearchOutcome::Stopped, Search(L"消える段落", stopped));
    EXPECT_EQ(2u, stopped.counts.versions) << "no version looked at after the stop";
    EXPECT_EQ(ContentSearchOutcome::NothingToFind, Search(L"", host));
}

// Case aside for Latin letters, width aside, hiragana and katakana apart; a line at a time.
TEST(TextMatcher, CaseAndWidthAsideKanaTypesApart) {
    const struct {
        const wchar_t* query;
        const wchar_t* text;
        size_t line;
    } cases[] = {
        {L"ＡＢＣ", L"first\nxxabcxx", 1},      {L"abc", L"ＡＢＣ", 0},
        {L"ÜBER", L"uber\nüber", 1},           {L"ｶﾅ", L"ひらがな\nカナ", 1},
        {L"カナ", L"ｶﾅ", 0},                    {L"ひらがな", L"ヒラガナ", CTextMatcher::kNoLine},
        {L"カタカナ", L"かたかな", CTextMatcher::kNoLine}, {L"abc", L"ab\nc", CTextMatcher::kNoLine},
        {L"全角　空白", L"全角 空白", 0},
    };
    for (const auto& match : cases) {
        CDecodedText text;
        const std::wstring units = match.text;
        ASSERT_TRUE(text.SetFromUtf16(std::vector<wchar_t>(units.begin(), units.end())));
        EXPECT_EQ(match.line, CTextMatcher(match.query).FirstMatchingLine(text))
            << N(match.query) << " in " << N(match.text);
    }
}
