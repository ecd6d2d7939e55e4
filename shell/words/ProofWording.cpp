#include "shell/words/ProofWording.h"

#include "framework/Language.h"
#include "res/resource.h"
#include "shell/words/Wording.h"

namespace {

struct StateWords {
    ProofState state;
    UINT id;
};

const StateWords kStateWords[] = {
    {ProofState::Good, IDS_PROOF_GOOD},
    {ProofState::Damaged, IDS_PROOF_DAMAGED},
    {ProofState::Unproven, IDS_PROOF_UNPROVEN},
    {ProofState::Absent, IDS_PROOF_ABSENT},
    {ProofState::Unreadable, IDS_PROOF_UNREADABLE},
};

std::wstring FindingName(const ProofFinding& finding, const std::wstring& itemName) {
    const std::wstring& name = finding.path.empty() ? itemName : finding.path;
    return finding.missing ? FormatResourceText(IDS_PROOF_MISSING_FILE, {name}) : name;
}

// The findings' names with separator between them, the ones past atMost counted.
std::wstring JoinNames(const std::vector<ProofFinding>& findings, const std::wstring& itemName, size_t atMost,
                       const std::wstring& before, const std::wstring& separator) {
    std::wstring text;
    for (size_t i = 0; i < findings.size() && i < atMost; ++i)
        text += (i == 0 ? std::wstring() : separator) + before + FindingName(findings[i], itemName);
    if (findings.size() > atMost)
        text += separator + before +
                FormatResourceText(IDS_RESTORE_MORE, {std::to_wstring(findings.size() - atMost)});
    return text;
}

} // namespace

std::wstring ProofStateText(ProofState state) {
    for (const StateWords& words : kStateWords)
        if (words.state == state)
            return LoadResourceText(words.id);
    return std::wstring();
}

std::wstring DamagedNamesText(const std::vector<ProofFinding>& findings, const std::wstring& itemName,
                              size_t atMost) {
    return JoinNames(findings, itemName, atMost, std::wstring(), LoadResourceText(IDS_PROOF_NAME_JOIN));
}

std::wstring DamagedNamesLines(const std::vector<ProofFinding>& findings, const std::wstring& itemName,
                               size_t atMost) {
    return JoinNames(findings, itemName, atMost, L"    ", L"\n");
}

bool FoundDamaged(const CheckMark& mark) {
    return mark.state[0] == ProofState::Damaged || mark.state[1] == ProofState::Damaged;
}

std::wstring LastCheckText(const CheckMark& mark) {
    if (FoundDamaged(mark))
        return LoadResourceText(IDS_PROOF_DAMAGED);
    int64_t last = 0;
    for (int place = 0; place < 2; ++place)
        if (mark.state[place] == ProofState::Good && mark.checked[place] > last)
            last = mark.checked[place];
    if (last == 0)
        return std::wstring();
    // The ledger keeps UTC; the history's dates are local, as every other date it shows.
    FILETIME utc, local;
    utc.dwLowDateTime = static_cast<DWORD>(last);
    utc.dwHighDateTime = static_cast<DWORD>(static_cast<uint64_t>(last) >> 32);
    if (!::FileTimeToLocalFileTime(&utc, &local))
        local = utc;
    return HistoryDateText(
        static_cast<int64_t>((static_cast<uint64_t>(local.dwHighDateTime) << 32) | local.dwLowDateTime));
}

std::wstring RepairOutcomeText(const RepairResult& result) {
    bool from[3] = {false, false, false}; // the mirror, here, the original
    unsigned noGoodCopy = 0;
    DWORD failed = ERROR_SUCCESS;
    bool anyFailed = false;
    for (const RepairedFile& file : result.files) {
        if (file.outcome == RepairOutcome::Healed)
            from[file.fromOriginal ? 2 : file.from == ProofPlace::Mirror ? 0 : 1] = true;
        else if (file.outcome == RepairOutcome::NoGoodCopy)
            ++noGoodCopy;
        else if (!anyFailed)
            anyFailed = true, failed = file.error;
    }
    const UINT fromWords[] = {IDS_REPAIR_FROM_MIRROR, IDS_REPAIR_FROM_HERE, IDS_REPAIR_FROM_ORIGINAL};
    std::vector<std::wstring> phrases;
    for (int source = 0; source < 3; ++source)
        if (from[source])
            phrases.push_back(LoadResourceText(fromWords[source]));
    if (noGoodCopy > 0)
        phrases.push_back(LoadResourceText(IDS_REPAIR_NO_GOOD_COPY));
    if (anyFailed)
        phrases.push_back(FormatResourceText(IDS_REPAIR_FAILED, {SystemMessage(failed)}));
    std::wstring text;
    for (const std::wstring& phrase : phrases)
        text += (text.empty() ? std::wstring() : LoadResourceText(IDS_PROOF_NAME_JOIN)) + phrase;
    return text;
}
