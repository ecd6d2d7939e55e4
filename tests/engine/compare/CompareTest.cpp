// The compare of two files and of two folders on a real disk: texts decoded and diffed (each case's
// removed and added lines and places, encodings and line ends), files that are not text compared as
// bytes, the diff checked minimal against a plain longest common subsequence on generated texts, a
// folder version against the folder it was backed up from, a set stop, DiffTool= made into a
// command line, and the change within a changed line.
#include <gtest/gtest.h>

#include <random>

#include "EngineTestSupport.h"
#include "common/TempFolder.h"
#include "engine/compare/DiffTool.h"
#include "engine/copy/FileCopy.h"
#include "engine/compare/FileCompare.h"
#include "engine/compare/FolderCompare.h"
#include "engine/base/Settings.h"
#include "engine/compare/InlineDiff.h"
#include "engine/journal/CopyWay.h"
#include "framework/FileHandle.h"

namespace {

std::string Utf16(bool bigEndian, const std::wstring& text) {
    std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (wchar_t unit : text) {
        const char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit & 0xFF);
        bytes += bigEndian ? std::string{high, low} : std::string{low, high};
    }
    return bytes;
}

// The rows side by side as one character each: '=' equal, '-' removed, '+' added, '~' changed.
// Checks on the way that the runs cover both texts in order, that every equal row pairs equal
// lines, and that each place is the next after the one before it.
std::string RowShape(const CLineDiff& diff, const CDecodedText& left, const CDecodedText& right) {
    std::string shape;
    size_t nextLeft = 0, nextRight = 0;
    for (const DiffRun& run : diff.Runs()) {
        EXPECT_EQ(nextLeft, run.leftFirst);
        EXPECT_EQ(nextRight, run.rightFirst);
        nextLeft += run.leftCount;
        nextRight += run.rightCount;
    }
    EXPECT_EQ(left.LineCount(), nextLeft);
    EXPECT_EQ(right.LineCount(), nextRight);
    for (size_t row = 0; row < diff.RowCount(); ++row) {
        const DiffRow shown = diff.RowAt(row);
        shape += "=-+~"[static_cast<int>(shown.state)];
        if (shown.state == DiffRowState::Equal) {
            EXPECT_EQ(left.Line(shown.leftLine), right.Line(shown.rightLine)) << "row " << row;
        }
    }
    for (size_t place = 1; place < diff.PlaceCount(); ++place) {
        EXPECT_EQ(place, diff.NextPlace(diff.Places()[place - 1].firstRow));
        EXPECT_EQ(place - 1, diff.PreviousPlace(diff.Places()[place].firstRow));
    }
    return shape;
}

CDecodedText Decoded(const std::string& bytes) {
    CDecodedText text;
    EXPECT_EQ(TextReadOutcome::Text, DecodeTextBytes(bytes.data(), bytes.size(), &text));
    return text;
}

// The length of a longest common subsequence, the plain O(n·m) way.
size_t CommonLength(const CDecodedText& a, const CDecodedText& b) {
    std::vector<size_t> row(b.LineCount() + 1, 0), next(row);
    for (size_t i = a.LineCount(); i-- > 0;) {
        for (size_t j = b.LineCount(); j-- > 0;)
            next[j] = a.Line(i) == b.Line(j) ? row[j + 1] + 1 : std::max(row[j], next[j + 1]);
        std::swap(row, next);
    }
    return row[0];
}

void SetWritten(const std::string& path, const FILETIME& when) {
    HANDLE file =
        CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    SetFileTime(file, nullptr, nullptr, &when);
    CloseHandle(file);
}

} // namespace

TEST(FileCompare, TextsByTheirLinesAndOtherFilesByTheirBytes) {
    using E = TextEncoding;
    using L = LineEnds;
    const std::string lines = "1\n2\n3\n4\n5\n6\n7\n8\n";
    struct Case {
        const char* what;
        std::string older, newer;
        size_t removed, added, places;
        std::string rows; // RowShape; for bytes, the first differing byte
        E olderEncoding = E::Utf8, newerEncoding = E::Utf8;
        L olderEnds = L::Lf, newerEnds = L::Lf;
    };
    const Case cases[] = {
        {"equal", "a\nb\nc\n", "a\nb\nc\n", 0, 0, 0, "==="},
        {"one line changed", "a\nb\nc\n", "a\nB\nc\n", 1, 1, 1, "=~="},
        {"two lines changed into one", "a\nb\nc\nd\n", "a\nX\nd\n", 2, 1, 1, "=~~="},
        {"inserted at the start", "b\nc\n", "a\nb\nc\n", 0, 1, 1, "+=="},
        {"inserted at the end, the last line without its end", "a\nb", "a\nb\nc", 0, 1, 1, "==+"},
        {"a block moved", lines, "1\n4\n5\n6\n7\n2\n3\n8\n", 2, 2, 2, "=--====++="},
        {"removed and added apart", lines, "1\n2\nx\n4\n5\n7\n8\ny\n", 2, 2, 3, "==~==-==+"},
        {"an empty side", "", "a\nb\n", 0, 2, 1, "++", E::Utf8, E::Utf8, L::None},
        {"CRLF against LF", "a\r\nb\r\n", "a\nb\n", 0, 0, 0, "==", E::Utf8, E::Utf8, L::Crlf},
        {"CR against mixed", "a\rb\r", "a\r\nb\n", 0, 0, 0, "==", E::Utf8, E::Utf8, L::Cr, L::Mixed},
        {"UTF-8 against Shift_JIS of the same words", u8"日本語\n表示\n", "日本語\n表示\n", 0, 0, 0,
         "==", E::Utf8, E::CodePage932},
        {"a byte-order mark on one side only", u8"\uFEFFテキスト\nx\n", u8"テキスト\ny\n", 1, 1, 1, "=~",
         E::Utf8WithBom, E::Utf8},
        {"UTF-16 both ways", Utf16(false, L"\u8868\r\n\U0001F600\r\n"), Utf16(true, L"\u8868\n\U0001F601\n"),
         1, 1, 1, "=~", E::Utf16Le, E::Utf16Be, L::Crlf, L::Lf},
        {"a NUL byte", std::string("a\0bc", 4), std::string("a\0bd", 4), 0, 0, 0, "4"},
        {"equal bytes", std::string("\0\1", 2), std::string("\0\1", 2), 0, 0, 0, "0"},
        {"one the other's start", std::string("\0abc", 4), std::string("\0abcde", 6), 0, 0, 0, "5"},
        {"invalid in every encoding", "ok\n\x81\n", "ok\n\x82\n", 0, 0, 0, "4"},
        {"UTF-16 cut in half", Utf16(false, L"ab").substr(0, 5), "ab", 0, 0, 0, "1"}};
    TempFolder temp;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(WriteFileOnly(temp / "older", c.older) && WriteFileOnly(temp / "newer", c.newer));
        FileComparison compared;
        CompareFiles(W(temp / "older"), W(temp / "newer"), nullptr, &compared);
        EXPECT_EQ(c.older.size(), compared.older.size);
        EXPECT_EQ(c.newer.size(), compared.newer.size);
        if (c.rows.find_first_not_of("0123456789") == std::string::npos) {
            ASSERT_EQ(FileCompareOutcome::Bytes, compared.outcome);
            const bool equal = c.rows == "0";
            EXPECT_EQ(equal ? ByteCompareOutcome::Equal : ByteCompareOutcome::Different,
                      compared.bytes.outcome);
            EXPECT_EQ(std::stoull(c.rows), compared.bytes.firstDifference);
            continue;
        }
        ASSERT_EQ(FileCompareOutcome::Texts, compared.outcome);
        const CLineDiff& diff = compared.lines;
        EXPECT_EQ(c.removed, diff.RemovedLines());
        EXPECT_EQ(c.added, diff.AddedLines());
        EXPECT_EQ(c.places, diff.PlaceCount());
        EXPECT_TRUE(diff.Minimal());
        EXPECT_EQ(c.rows, RowShape(diff, compared.olderText, compared.newerText));
        EXPECT_EQ(c.olderEncoding, compared.olderText.encoding);
        EXPECT_EQ(c.newerEncoding, compared.newerText.encoding);
        EXPECT_EQ(c.olderEnds, compared.olderText.lineEnds);
        EXPECT_EQ(c.newerEnds, compared.newerText.lineEnds);
    }
}

// The change within a line: the parts marked on each side, by words for Latin text and by
// characters for Japanese; past the bound, all between the common start and end.
TEST(FileCompare, TheChangeWithinALineByWordsForLatinAndByCharactersForJapanese) {
    struct Case {
        const wchar_t *older, *newer;
        std::vector<std::wstring> removed, added;
        uint32_t bound = kInlineEditBound;
    };
    const Case cases[] = {
        {L"Invoice 20240517: 3 boxes, total 12345 yen, paid in full",
         L"Invoice 20240517: 3 boxes, total 12346 yen, paid in full",
         {L"12345"},
         {L"12346"}},
        {L"東京都港区芝公園四丁目", L"東京都北区芝公園四丁目", {L"港"}, {L"北"}},
        {L"明日は晴れ、２０度です", L"明日は雨、２５度です", {L"晴れ", L"２０"}, {L"雨", L"２５"}},
        {L"\U00020BB7野家です", L"\U00020B9F野家です", {L"\U00020BB7"}, {L"\U00020B9F"}}, // one high half
        {L"", L"new words", {}, {L"new words"}},
        {L"[one two three]", L"[uno dos tres]", {L"one two three"}, {L"uno dos tres"}, 5}};
    const auto marked = [](const std::wstring& line, const std::vector<TextRange>& ranges) {
        std::vector<std::wstring> parts;
        for (const TextRange& range : ranges)
            parts.push_back(line.substr(range.first, range.count));
        return parts;
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(N(c.older));
        const std::wstring older = c.older, newer = c.newer;
        InlineDiff diff;
        DiffWithinLine(older.data(), older.size(), newer.data(), newer.size(), &diff, c.bound);
        EXPECT_EQ(c.removed, marked(older, diff.left));
        EXPECT_EQ(c.added, marked(newer, diff.right));
        EXPECT_EQ(c.bound == kInlineEditBound, diff.withinBound);
    }
}

TEST(FileCompare, AMissingOrUnreadableSideAndASetStop) {
    TempFolder temp;
    ASSERT_TRUE(WriteFileOnly(temp / "file", "a\nb\n") && WriteFileOnly(temp / "other", "a\nc\n"));
    MakeFolders(temp / "folder");
    struct Case {
        const char* what;
        std::string older, newer;
        BOOL stop;
        FileCompareOutcome outcome;
        DWORD error;
    };
    const Case cases[] = {
        {"the older missing", "gone", "file", FALSE, FileCompareOutcome::OlderMissing, ERROR_FILE_NOT_FOUND},
        {"the newer missing", "file", "gone", FALSE, FileCompareOutcome::NewerMissing, ERROR_FILE_NOT_FOUND},
        {"a folder", "file", "folder", FALSE, FileCompareOutcome::NewerUnreadable, ERROR_DIRECTORY},
        {"stopped", "file", "other", TRUE, FileCompareOutcome::Stopped, ERROR_SUCCESS}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FileComparison compared;
        CompareFiles(W(temp / c.older), W(temp / c.newer), &c.stop, &compared);
        EXPECT_EQ(c.outcome, compared.outcome);
        EXPECT_EQ(c.error, compared.error);
        EXPECT_EQ(0u, compared.lines.PlaceCount());
    }
    const BOOL stop = TRUE;
    CDecodedText a = Decoded("x\ny\n"), b = Decoded("y\nx\n");
    CLineDiff diff;
    DiffLines(a, b, &stop, &diff);
    EXPECT_TRUE(diff.Stopped());
    EXPECT_EQ(ByteCompareOutcome::Stopped,
              CompareFileBytes(W(temp / "file"), W(temp / "other"), &stop).outcome);
    FolderCompareOptions options;
    options.stop = &stop;
    EXPECT_EQ(FolderCompareOutcome::Stopped,
              CompareFolders(W(temp.path()), W(temp / "folder"), options).outcome);
}

// Texts of a few distinct lines, so most lines match somewhere: checked against the plain longest
// common subsequence. Every third case has a low bound on the search: past it the result may be
// less than minimal but must say so, and must still be a true alignment.
// The same sequences again as one line each, a character a token, for the change within a line:
// what it leaves unmarked is the same on both sides and as long as the longest common part.
TEST(GeneratedInputs, TheLineDiffAndTheChangeWithinALineAreMinimal) {
    std::mt19937 random(20041207);
    const char* const kLines[] = {"a\n", "b\n", "c\n", "\n", "a \n"};
    const wchar_t kTokens[] = L"+-*/\u6F22";
    const auto Unmarked = [](std::wstring line, const std::vector<TextRange>& ranges) {
        for (auto range = ranges.rbegin(); range != ranges.rend(); ++range)
            line.erase(range->first, range->count);
        return line;
    };
    int failures = 0, fellBack = 0;
    for (int n = 0; n < 400 && failures < 5; ++n) {
        std::string texts[2];
        std::wstring lines[2];
        for (int side = 0; side < 2; ++side) {
            const size_t count = random() % 40;
            for (size_t line = 0; line < count; ++line) {
                const size_t picked = random() % (2 + n % 4);
                texts[side] += kLines[picked];
                lines[side] += kTokens[picked];
            }
        }
        const CDecodedText left = Decoded(texts[0]), right = Decoded(texts[1]);
        const uint32_t bound = n % 3 == 0 ? 4 : kMinimalEditBound;
        CLineDiff diff;
        DiffLines(left, right, nullptr, &diff, bound);
        const size_t common = CommonLength(left, right);
        const size_t fewest = left.LineCount() + right.LineCount() - 2 * common;
        const std::string shape = RowShape(diff, left, right);
        fellBack += !diff.Minimal();
        const bool minimal = diff.RemovedLines() == left.LineCount() - common &&
                             diff.AddedLines() == right.LineCount() - common;
        const bool ok = diff.RemovedLines() - diff.AddedLines() == left.LineCount() - right.LineCount() &&
                        (diff.Minimal() ? minimal : fewest > bound);
        InlineDiff within;
        DiffWithinLine(lines[0].data(), lines[0].size(), lines[1].data(), lines[1].size(), &within, bound);
        const std::wstring kept = Unmarked(lines[0], within.left);
        EXPECT_EQ(fewest <= bound, within.withinBound) << "case " << n;
        EXPECT_TRUE(!within.withinBound ||
                    (kept == Unmarked(lines[1], within.right) && kept.size() == common))
            << "case " << n;
        if (!ok) {
            ++failures;
            ADD_FAILURE() << "case " << n << ": " << left.LineCount() << " and " << right.LineCount()
                          << " lines, common " << common << ", removed " << diff.RemovedLines() << ", added "
                          << diff.AddedLines() << (diff.Minimal() ? "" : " (not minimal)") << ", rows "
                          << shape;
        }
    }
    EXPECT_GT(fellBack, 0) << "no case went past its bound";
}

TEST(FolderCompare, AVersionAgainstTheFolderNow) {
    TempFolder temp;
    const std::string tree = temp / "data\\tree", program = temp / "prog";
    for (const char* name : {"same.txt", "changed.txt", "touched.txt", "removed.txt", "sub\\deep.txt",
                             "sub\\gone\\a.txt", "sub\\gone\\b.txt", "skip.tmp", "cache.tmp\\inner.txt"})
        ASSERT_TRUE(WriteFileText(tree + "\\" + name, std::string("v1 ") + name));
    const std::string deep = "sub\\" + std::string(120, 'l') + "\\" + std::string(120, 'm') + "\\long.txt";
    ASSERT_TRUE(WriteWideFile(W(tree + "\\" + deep), "v1")); // past MAX_PATH
    MakeFolders(program);
    const UnixSymlink up(tree + "\\sub\\up", "..");
    ASSERT_TRUE(up.made()) << "cannot make links under this Wine";
    RecordingHost host;
    CBackupEngine engine(W(program), 1, std::wstring(), {L"*.tmp"});
    ASSERT_TRUE(engine.BackUp(host, W(tree), At(2004, 3, 7, 14, 5)));
    const std::string version = program + "\\backups\\2004-0307\\1405\\tree";
    ASSERT_TRUE(WriteFileOnly(version + "\\" + N(TemporaryName()), "a copy left half-made"));

    ASSERT_TRUE(WriteFileText(tree + "\\changed.txt", "v2 changed.txt")); // the same size, other bytes
    SetWritten(tree + "\\touched.txt", FILETIME{0x1000u, 0x01D00000u});   // only its time moved
    ASSERT_TRUE(DeleteFileA((tree + "\\removed.txt").c_str()));
    RemoveTree(tree + "\\sub\\gone");
    ASSERT_TRUE(WriteWideFile(W(tree + "\\" + deep), "v2 longer"));
    ASSERT_TRUE(WriteFileText(tree + "\\added.txt", "new") && WriteFileText(tree + "\\skip.tmp", "changed"));

    FolderCompareOptions options;
    options.excludes = {L"*.tmp"};
    options.backupRoot = W(program + "\\backups");
    for (bool listSame : {false, true}) {
        SCOPED_TRACE(listSame ? "the same listed" : "the same counted only");
        options.listSame = listSame;
        const FolderComparison compared = CompareFolders(W(version), W(tree), options);
        ASSERT_EQ(FolderCompareOutcome::Done, compared.outcome);
        std::string listed;
        for (const FolderEntry& entry : compared.entries)
            listed += "CARS?"[static_cast<int>(entry.state)] + (" " + N(entry.path) + ";");
        const std::string different = "R sub\\gone\\a.txt;R sub\\gone\\b.txt;C " + deep + ";";
        EXPECT_EQ((listSame
                       ? "A added.txt;C changed.txt;R removed.txt;S same.txt;S touched.txt;S sub\\deep.txt;"
                       : "A added.txt;C changed.txt;R removed.txt;") +
                      different,
                  listed);
        EXPECT_EQ(2u, compared.counts.changed);
        EXPECT_EQ(1u, compared.counts.added);
        EXPECT_EQ(3u, compared.counts.removed);
        EXPECT_EQ(3u, compared.counts.same);
        EXPECT_EQ(14u, compared.entries[1].older.size);
        EXPECT_EQ(3u, compared.entries[0].newer.size);
    }
    struct Side {
        const char* what;
        std::string older, newer;
        FolderCompareOutcome outcome;
        DWORD error;
    };
    const Side sides[] = {
        {"the folder now missing", version, temp / "data\\gone", FolderCompareOutcome::NewerMissing,
         ERROR_FILE_NOT_FOUND},
        {"a file, not a folder", tree + "\\same.txt", tree, FolderCompareOutcome::OlderUnreadable,
         ERROR_DIRECTORY},
        {"the backups folder never entered", program, program, FolderCompareOutcome::Done, ERROR_SUCCESS}};
    for (const Side& side : sides) {
        SCOPED_TRACE(side.what);
        const FolderComparison compared = CompareFolders(W(side.older), W(side.newer), options);
        EXPECT_EQ(side.outcome, compared.outcome);
        EXPECT_EQ(side.error, compared.error);
        EXPECT_TRUE(compared.entries.empty());
        EXPECT_EQ(0u, compared.counts.same);
    }

    // Two versions, from their manifests: a file both prove equal is never read (held open by
    // another, it is still the same), one whose hashes differ is (and cannot be); without the
    // manifests both are read.
    // Link=no: touched.txt is copied anew, its bytes as before. The newer version gains names a
    // plain sort of whole paths would put elsewhere than the walk does ("sub b" after "sub", a file
    // at the top after them), and a folder where the older has a file.
    ASSERT_TRUE(WriteFileText(program + "\\Tallowbox.ini", "[Tallowbox]\r\nLink=no\r\n"));
    for (const char* name : {"sub b\\x.txt", "zz.txt", "removed.txt\\inner.txt"})
        ASSERT_TRUE(WriteFileText(tree + "\\" + name, name));
    CBackupEngine unlinked(W(program), 1, std::wstring(), {L"*.tmp"});
    ASSERT_TRUE(unlinked.BackUp(host, W(tree), At(2004, 3, 7, 14, 6)));
    const std::string later = program + "\\backups\\2004-0307\\1406\\tree";
    const auto lock = [&](const char* name) {
        return CFileHandle(CreateFileA((later + "\\" + name).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    };
    const ManifestIndex none;
    options.listSame = true;
    {
        const CFileHandle touched = lock("touched.txt"), changed = lock("changed.txt");
        ASSERT_TRUE(touched.IsOpen() && changed.IsOpen());
        for (bool proven : {true, false}) {
            SCOPED_TRACE(proven ? "from the manifests" : "without them");
            options.olderHashes = options.newerHashes = proven ? nullptr : &none;
            std::string states;
            for (const FolderEntry& entry : CompareFolders(W(version), W(later), options).entries)
                if (entry.path == L"touched.txt" || entry.path == L"changed.txt")
                    states += "CARS?"[static_cast<int>(entry.state)] + (" " + N(entry.path) + ";");
            EXPECT_EQ(proven ? "? changed.txt;S touched.txt;" : "? changed.txt;? touched.txt;", states);
        }
    }
    options.olderHashes = options.newerHashes = nullptr;

    // Listed from the manifests or walked, an intact pair shows the same rows in the same order,
    // with the same states, sizes and times, whatever Exclude= leaves out.
    const auto rows = [&](const FolderCompareOptions& given) {
        const FolderComparison compared = CompareFolders(W(version), W(later), given);
        std::string text;
        for (const FolderEntry& entry : compared.entries)
            text += "CARS?"[static_cast<int>(entry.state)] + (" " + N(entry.path)) + " " +
                    std::to_string(entry.older.size) + "@" + std::to_string(entry.older.modified.dwLowDateTime) +
                    " " + std::to_string(entry.newer.size) + "@" +
                    std::to_string(entry.newer.modified.dwLowDateTime) + " " + std::to_string(entry.error) + ";";
        return text + std::to_string(compared.counts.same);
    };
    for (const std::vector<std::wstring>& excludes :
         {std::vector<std::wstring>{L"*.tmp"}, std::vector<std::wstring>{L"*.tmp", L"SUB B", L"z*"}}) {
        SCOPED_TRACE(N(excludes.back()));
        FolderCompareOptions walked = options;
        walked.excludes = excludes;
        walked.listFromManifests = false;
        FolderCompareOptions listed = walked;
        listed.listFromManifests = true;
        const std::string fromManifests = rows(listed);
        EXPECT_EQ(rows(walked), fromManifests);
        EXPECT_NE(std::string::npos, fromManifests.find("A removed.txt\\inner.txt"));
    }

    // What the newer copy holds beside its manifest is not listed while the manifest is trusted,
    // and a changed file is not read through a link planted in the copy's place; once the manifest
    // is edited, it is no longer trusted and the folders are walked, never into a folder link
    // planted inside the copy.
    ASSERT_TRUE(MoveFileA(later.c_str(), (temp / "moved").c_str()));
    ASSERT_TRUE(WriteFileText(temp / "moved\\planted.txt", "not in the manifest") &&
                WriteFileText(temp / "outside\\secret.txt", "outside the copy"));
    const UnixSymlink planted(later, "../../../../moved"), inside(temp / "moved\\inside", "../outside");
    ASSERT_TRUE(planted.made() && inside.made());
    for (bool edited : {false, true}) {
        SCOPED_TRACE(edited ? "the manifest edited: walked" : "trusted: listed from the manifests");
        if (edited) {
            ASSERT_TRUE(FlipByteKeepingTime(program + "\\backups\\" +
                                            N(ManifestPathFor(L"2004-0307\\1406\\tree")), 40));
        }
        const FolderComparison compared = CompareFolders(W(version), W(later), options);
        std::string states;
        for (const FolderEntry& entry : compared.entries)
            if (entry.path == L"planted.txt" || entry.path.rfind(L"inside", 0) == 0 ||
                (!edited && entry.path == L"changed.txt"))
                states += "CARS?"[static_cast<int>(entry.state)] + (" " + N(entry.path)) + " " +
                          std::to_string(entry.error) + ";";
        const std::string refused = std::to_string(kLinkOnTheWay);
        EXPECT_EQ(edited ? "? inside " + refused + ";A planted.txt 0;" : "? changed.txt " + refused + ";", states);
    }
}

TEST(DiffTool, TheSettingMadeIntoACommandLine) {
    struct Case {
        const char* what;
        std::string line; // in [Tallowbox]
        DiffToolOutcome outcome;
        std::wstring commandLine;
    };
    const std::wstring older = L"C:\\T\\a %2.txt", newer = L"C:\\T\\b.txt";
    const Case cases[] = {
        {"quoted as the user wrote it", "DiffTool=\"C:\\Tools\\diff.exe\" \"%1\" \"%2\"",
         DiffToolOutcome::Ready, L"\"C:\\Tools\\diff.exe\" \"C:\\T\\a %2.txt\" \"C:\\T\\b.txt\""},
        {"the newer first, twice", "difftool = tool.exe /r=%2 /l=%1 %2 ", DiffToolOutcome::Ready,
         L"tool.exe /r=C:\\T\\b.txt /l=C:\\T\\a %2.txt C:\\T\\b.txt"},
        {"no %2", "DiffTool=tool.exe %1", DiffToolOutcome::MissingPlaceholders, L""},
        {"%12 is %1 and a 2", "DiffTool=tool.exe %12 %2", DiffToolOutcome::Ready,
         L"tool.exe C:\\T\\a %2.txt2 C:\\T\\b.txt"},
        {"empty", "DiffTool=", DiffToolOutcome::NotSet, L""},
        {"not set", "Link=no", DiffToolOutcome::NotSet, L""},
        {"too long to be read", "DiffTool=x %1 %2" + std::string(kMaxCommandLineLength, 'x'),
         DiffToolOutcome::NotSet, L""},
        {"too long once replaced", "DiffTool=%1%2" + std::string(kMaxCommandLineLength - 20, 'x'),
         DiffToolOutcome::TooLong, L""}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const TallowboxSettings settings = ParseSettings("[Tallowbox]\r\n" + c.line + "\r\n");
        EXPECT_EQ(c.line.size() > kMaxCommandLineLength ? 1u : 0u, settings.skippedLines);
        std::wstring made;
        EXPECT_EQ(c.outcome, MakeDiffToolCommandLine(settings.diffTool, older, newer, &made));
        EXPECT_EQ(c.commandLine, made);
    }
}
