// The ledger's lines, after a header naming the format and the fields, one of four kinds:
//   checked  <copy> <here|mirror> <state> <ticks>        what a check of copy in a place found
//   damaged  <copy> <here|mirror> <missing|differs> <hash> <path>   a file that check named
//   reported <copy>                                      its damage told to the user
//   agreed   <copy> <hash>                               the hash both places agreed on
// A later program may add fields at a line's end: a reader skips those it does not know.
#include "engine/proof/CheckLedger.h"

#include <algorithm>

#include "engine/base/BackupPaths.h"
#include "engine/journal/Journal.h"
#include "engine/journal/JournalLines.h"
#include "framework/FileHandle.h"

const wchar_t* const kCheckLedgerName = L"Tallowbox-checks.tsv";

int64_t CheckMoment() {
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    return static_cast<int64_t>((static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime);
}

namespace {

const char* const kHeader = "#Tallowbox-checks 1\tkind\tcopy\tplace\tstate\tchecked\n";
const char* const kPlaceWords[] = {"here", "mirror"};
const char* const kStateWords[] = {"good", "damaged", "unproven", "absent", "unreadable"};
constexpr size_t kStateCount = sizeof kStateWords / sizeof *kStateWords;
// The slots of a page of marks: a full page is split in two halves.
constexpr size_t kPageSlots = 256;

uint64_t CopyKey(const std::wstring& copy) {
    const std::wstring upper = UpperCase(copy);
    return HashOfBytes(upper.data(), upper.size() * sizeof(wchar_t)).low;
}

// The index of word in words, or count when it is none of them.
size_t WordIndex(const std::string& word, const char* const* words, size_t count) {
    size_t index = 0;
    while (index < count && word != words[index])
        ++index;
    return index;
}

// The fields every line starts with: its kind and a copy that could be one of ours.
bool ReadCopyField(const std::vector<std::string>& fields, size_t needed, std::wstring* copy) {
    return fields.size() >= needed && FieldFromUtf8(fields[1].data(), fields[1].size(), copy) &&
           IsSafeCopyPath(*copy);
}

std::string CopyLine(const char* kind, const std::wstring& copy) {
    return std::string(kind) + "\t" + FieldUtf8(copy);
}

// The ledger's file opened to append, never through a link planted in its name.
HANDLE OpenToAppend(const std::wstring& path) {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | FILE_APPEND_DATA,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                    FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    FILE_BASIC_INFO basic{};
    if (file == INVALID_HANDLE_VALUE ||
        (GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof basic) &&
         !(basic.FileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY))))
        return file;
    CloseHandle(file);
    SetLastError(ERROR_CANT_ACCESS_FILE);
    return INVALID_HANDLE_VALUE;
}

// What must come before new lines: the header in a new file, a line break after a line a crash cut short.
DWORD LeadIn(HANDLE file, std::string* lead) {
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file, &size))
        return GetLastError();
    if (size.QuadPart == 0) {
        *lead = kHeader;
        return ERROR_SUCCESS;
    }
    LARGE_INTEGER last{};
    last.QuadPart = size.QuadPart - 1;
    char byte = 0;
    DWORD read = 0;
    if (!SetFilePointerEx(file, last, nullptr, FILE_BEGIN) || !ReadFile(file, &byte, 1, &read, nullptr))
        return GetLastError();
    if (read == 1 && byte != '\n')
        *lead = "\n";
    return ERROR_SUCCESS;
}

} // namespace

DWORD CCheckLedger::Load(const std::wstring& backupRoot) {
    m_path = SystemPath(WithoutTrailingSeparators(backupRoot) + L"\\" + kCheckLedgerName);
    std::vector<std::vector<Slot>>().swap(m_pages);
    m_agreed.clear();
    m_unreadable = 0;
    const DWORD attributes = GetFileAttributesW(m_path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return ERROR_CANT_ACCESS_FILE; // planted: nothing is read through it
    if (ForEachLine(m_path, &m_unreadable, [&](const char* text, size_t length) { Apply(text, length); }))
        return ERROR_SUCCESS;
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? ERROR_SUCCESS : error;
}

void CCheckLedger::Apply(const char* text, size_t length) {
    if (length > 0 && text[0] == '#')
        return; // a header
    const std::vector<std::string> fields = SplitFieldTexts(text, length);
    std::wstring copy;
    if (!ReadCopyField(fields, 2, &copy)) {
        ++m_unreadable;
        return;
    }
    const uint64_t key = CopyKey(copy);
    const std::string& kind = fields[0];
    const size_t place = fields.size() > 2 ? WordIndex(fields[2], kPlaceWords, 2) : 2;
    ContentHash hash;
    ULONGLONG ticks = 0;
    if (kind == "checked" && place < 2 && fields.size() >= 5 && ParseFieldNumber(fields[4], &ticks)) {
        const size_t state = WordIndex(fields[3], kStateWords, kStateCount);
        if (state == kStateCount) {
            ++m_unreadable;
            return;
        }
        CheckMark& mark = Touch(key).mark;
        // Damage newly found is told again; damage found again was told already.
        if (static_cast<ProofState>(state) == ProofState::Damaged && mark.state[place] != ProofState::Damaged)
            mark.reported = false;
        mark.state[place] = static_cast<ProofState>(state);
        mark.checked[place] = static_cast<int64_t>(ticks);
    } else if (kind == "reported") {
        Touch(key).mark.reported = true;
    } else if (kind == "agreed" && fields.size() >= 3 && ParseHashText(fields[2].data(), fields[2].size(), &hash)) {
        m_agreed[key] = hash;
    } else if (kind != "damaged" || place >= 2) {
        ++m_unreadable; // a damaged file's line is read by DamagedFiles alone
    }
}

// The page key belongs in: the last whose first key is not above it (the first page for less).
size_t CCheckLedger::PageIndex(uint64_t key) const {
    const auto after = std::upper_bound(m_pages.begin(), m_pages.end(), key,
                                        [](uint64_t wanted, const std::vector<Slot>& page) {
                                            return wanted < page.front().key;
                                        });
    return after == m_pages.begin() ? 0 : static_cast<size_t>(after - m_pages.begin()) - 1;
}

namespace {

template <typename Slots>
auto SlotAt(Slots& page, uint64_t key) {
    return std::lower_bound(page.begin(), page.end(), key,
                            [](const auto& slot, uint64_t wanted) { return slot.key < wanted; });
}

} // namespace

// A full page passes a slot to a neighbour with room (so that pages stay nearly full), else is
// split in two halves. Each page is reserved whole once: its block is never outgrown.
void CCheckLedger::MakeRoom(size_t index) {
    std::vector<Slot>& full = m_pages[index];
    // Two free slots: the key being added may belong to the neighbour once a slot has moved.
    if (index + 1 < m_pages.size() && m_pages[index + 1].size() + 2 <= kPageSlots) {
        m_pages[index + 1].insert(m_pages[index + 1].begin(), full.back());
        full.pop_back();
    } else if (index > 0 && m_pages[index - 1].size() + 2 <= kPageSlots) {
        m_pages[index - 1].push_back(full.front());
        full.erase(full.begin());
    } else {
        std::vector<Slot> upper;
        upper.reserve(kPageSlots);
        upper.assign(full.begin() + kPageSlots / 2, full.end());
        full.erase(full.begin() + kPageSlots / 2, full.end());
        m_pages.insert(m_pages.begin() + static_cast<std::ptrdiff_t>(index) + 1, std::move(upper));
    }
}

const CCheckLedger::Slot* CCheckLedger::Lookup(uint64_t key) const {
    if (m_pages.empty())
        return nullptr;
    const std::vector<Slot>& page = m_pages[PageIndex(key)];
    const auto found = SlotAt(page, key);
    return found != page.end() && found->key == key ? &*found : nullptr;
}

CCheckLedger::Slot& CCheckLedger::Touch(uint64_t key) {
    if (m_pages.empty()) {
        m_pages.emplace_back();
        m_pages.back().reserve(kPageSlots);
    }
    const size_t index = PageIndex(key);
    const auto found = SlotAt(m_pages[index], key);
    if (found != m_pages[index].end() && found->key == key)
        return *found;
    if (m_pages[index].size() >= kPageSlots) {
        MakeRoom(index);
        return Touch(key); // its page has room now
    }
    return *m_pages[index].insert(found, Slot{key, CheckMark()});
}

DWORD CCheckLedger::Append(const std::string& lines) {
    for (size_t begin = 0; begin < lines.size();) {
        const size_t end = lines.find('\n', begin);
        Apply(lines.data() + begin, end - begin);
        begin = end + 1;
    }
    if (m_path.empty())
        return ERROR_INVALID_FUNCTION; // not loaded: kept in memory alone
    CFileHandle file(OpenToAppend(m_path));
    if (!file.IsOpen())
        return GetLastError();
    std::string text;
    const DWORD error = LeadIn(file.get(), &text);
    if (error != ERROR_SUCCESS)
        return error;
    text += lines;
    DWORD written = 0;
    // One write: two programs appending at once never mix their lines.
    if (!WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr))
        return GetLastError();
    return written == text.size() ? ERROR_SUCCESS : ERROR_DISK_FULL;
}

bool CCheckLedger::Find(const std::wstring& copy, CheckMark* mark) const {
    const Slot* slot = Lookup(CopyKey(copy));
    if (slot != nullptr)
        *mark = slot->mark;
    return slot != nullptr;
}

DWORD CCheckLedger::Record(const std::wstring& copy, ProofPlace place, const PlaceProof& proof, int64_t when) {
    const char* const placeWord = kPlaceWords[static_cast<size_t>(place)];
    std::string lines = CopyLine("checked", copy) + "\t" + placeWord + "\t" +
                        kStateWords[static_cast<size_t>(proof.state)] + "\t" + std::to_string(when) + "\n";
    if (proof.state == ProofState::Damaged)
        for (const ProofFinding& finding : proof.findings)
            lines += CopyLine("damaged", copy) + "\t" + placeWord + "\t" +
                     (finding.missing ? "missing" : "differs") + "\t" + HashText(finding.expected) + "\t" +
                     FieldUtf8(finding.path) + "\n";
    return Append(lines);
}

DWORD CCheckLedger::MarkReported(const std::wstring& copy) {
    return Append(CopyLine("reported", copy) + "\n");
}

DWORD CCheckLedger::RecordAgreedHash(const std::wstring& copy, const ContentHash& hash) {
    return Append(CopyLine("agreed", copy) + "\t" + HashText(hash) + "\n");
}

bool CCheckLedger::AgreedHash(const std::wstring& copy, ContentHash* hash) const {
    const auto found = m_agreed.find(CopyKey(copy));
    if (found != m_agreed.end())
        *hash = found->second;
    return found != m_agreed.end();
}

std::vector<ProofFinding> CCheckLedger::DamagedFiles(const std::wstring& copy, ProofPlace place) const {
    std::vector<ProofFinding> findings;
    const std::string placeWord = kPlaceWords[static_cast<size_t>(place)];
    const std::wstring upper = UpperCase(copy);
    unsigned unreadable = 0;
    ForEachLine(m_path, &unreadable, [&](const char* text, size_t length) {
        const std::vector<std::string> fields = SplitFieldTexts(text, length);
        std::wstring named;
        if (!ReadCopyField(fields, 3, &named) || fields[2] != placeWord || UpperCase(named) != upper)
            return;
        ProofFinding finding;
        if (fields[0] == "checked")
            findings.clear(); // a later check's word replaces the earlier one's
        else if (fields[0] == "damaged" && fields.size() >= 6 &&
                 ParseHashText(fields[4].data(), fields[4].size(), &finding.expected) &&
                 FieldFromUtf8(fields[5].data(), fields[5].size(), &finding.path) &&
                 (finding.path.empty() || IsSafeCopyPath(finding.path))) {
            finding.missing = fields[3] == "missing";
            findings.push_back(std::move(finding));
        }
    });
    return findings;
}

unsigned CCheckLedger::UnreadableLines() const {
    return m_unreadable;
}

size_t CCheckLedger::Count() const {
    size_t count = 0;
    for (const std::vector<Slot>& page : m_pages)
        count += page.size();
    return count;
}
