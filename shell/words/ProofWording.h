// The shell's words for what the checks of the copies found and what their healing came to: a
// place's state (正常, 壊れている, 未確認, ...), the damaged files named, the history's 確認 column,
// and the outcome of 修復. Every word comes from the string table; the engine gives states,
// paths and error codes.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "engine/proof/CheckLedger.h"
#include "engine/proof/Repair.h"

// 正常, 壊れている, 未確認, 写しなし, 読めない.
std::wstring ProofStateText(ProofState state);
// The files found damaged, joined on one line ("a.txt、b.txt（ない）"), at most atMost of them
// and then "ほか N 個"; a file version's finding (no path) is named itemName.
std::wstring DamagedNamesText(const std::vector<ProofFinding>& findings, const std::wstring& itemName,
                              size_t atMost);
// The same one a line, each line indented, for a question.
std::wstring DamagedNamesLines(const std::vector<ProofFinding>& findings, const std::wstring& itemName,
                               size_t atMost);
// Whether the last check of either place found the copy damaged.
bool FoundDamaged(const CheckMark& mark);
// The history's 確認 column: the user's short date of the last check that found the copy good,
// 壊れている when the last check of either place found damage, empty when never checked.
std::wstring LastCheckText(const CheckMark& mark);
// What healing a version came to, as a phrase: where the good bytes came from, that no good copy
// exists (nothing overwritten), or why it failed; empty for nothing to heal.
std::wstring RepairOutcomeText(const RepairResult& result);
