// The document's mirror: the CMirror copying every version to MirrorFolder=, started once the
// watcher is (the program that watches the backups folder is the one that mirrors it), and the
// words its state comes to on the status line and the notification icon's tip.
#include "shell/document/TallowboxDoc.h"

#include "engine/base/Settings.h"
#include "engine/watch/WatchList.h"
#include "framework/Language.h"
#include "res/resource.h"

namespace {

UINT RefusalReason(MirrorFolderRefusal refusal) {
    switch (refusal) {
    case MirrorFolderRefusal::DriveRoot:
        return IDS_MIRROR_DRIVE_ROOT;
    case MirrorFolderRefusal::BackupsFolder:
        return IDS_MIRROR_BACKUPS_FOLDER;
    case MirrorFolderRefusal::InsideBackups:
        return IDS_MIRROR_INSIDE_BACKUPS;
    case MirrorFolderRefusal::ContainsBackups:
        return IDS_MIRROR_CONTAINS_BACKUPS;
    case MirrorFolderRefusal::InsideWatched:
        return IDS_MIRROR_INSIDE_WATCHED;
    default:
        return IDS_MIRROR_NOT_FULL_PATH;
    }
}

// What waits, while it waits: the same words for the status line and the icon's tip.
std::wstring BehindText(const MirrorState& state) {
    switch (state.phase) {
    case MirrorState::Phase::Unreachable:
        return FormatResourceText(IDS_MIRROR_UNREACHABLE, {std::to_wstring(state.waiting)});
    case MirrorState::Phase::DiskFull:
        return FormatResourceText(IDS_MIRROR_DISK_FULL, {std::to_wstring(state.waiting)});
    default:
        return std::wstring();
    }
}

// The versions a round left behind: those that failed, and those whose copy here is damaged.
std::wstring HeldBackText(const MirrorState& state) {
    std::wstring text;
    if (state.failed > 0)
        text = FormatResourceText(IDS_MIRROR_SOME_FAILED,
                                  {std::to_wstring(state.failed), SystemMessage(state.error)});
    if (state.damaged > 0)
        text += (text.empty() ? L"" : L"  ") +
                FormatResourceText(IDS_MIRROR_DAMAGED_HERE, {std::to_wstring(state.damaged)});
    return text;
}

} // namespace

std::wstring MirrorRefusalText(MirrorFolderRefusal refusal, const std::wstring& folder) {
    return FormatResourceText(IDS_MIRROR_REFUSED, {folder, LoadResourceText(RefusalReason(refusal))});
}

void CTallowboxDoc::StartMirror() {
    EndMirror();
    if (m_mirrorFolder.empty() || m_window == nullptr)
        return;
    // Without a watcher there is nobody to share the backups folder with.
    std::weak_ptr<CWatcher> watcher = m_versionsWatcher;
    const bool watching = m_watcher != nullptr;
    m_mirror.reset(
        new CMirror(*this, m_backupRoot, m_mirrorFolder, m_links, m_mirrorInbox, [watcher, watching] {
            const std::shared_ptr<CWatcher> alive = watcher.lock();
            return alive ? alive->OwnsList() : !watching;
        }));
    m_mirror->Start(ReadWatchList(m_backupRoot).paths); // the folder checked on the mirror's thread
}

void CTallowboxDoc::EndMirror() {
    m_mirror.reset(); // its thread ends (bounded) before the document it reports to goes
    m_mirrorCopying.reset();
}

MirrorFolderRefusal CTallowboxDoc::SetMirrorFolder(const std::wstring& folder, DWORD* writeError) {
    *writeError = ERROR_SUCCESS;
    const std::wstring path = MirrorFolderPath(folder);
    const MirrorFolderRefusal refusal =
        CheckMirrorFolder(path, m_backupRoot, ReadWatchList(m_backupRoot).paths);
    if (refusal != MirrorFolderRefusal::None)
        return refusal;
    *writeError = WriteSettingValue(m_programFolder, kMirrorFolderKey, path);
    if (*writeError != ERROR_SUCCESS)
        return MirrorFolderRefusal::None;
    m_mirrorFolder = path;
    m_mirrorRoot = path; // the history reads the new place from its next reading on
    m_mirrorSaid.clear();
    StartMirror();
    if (IsChecking())
        StartCheck(); // the new place is checked too
    return MirrorFolderRefusal::None;
}

DWORD CTallowboxDoc::StopMirroring() {
    const DWORD error = WriteSettingValue(m_programFolder, kMirrorFolderKey, std::wstring());
    if (error != ERROR_SUCCESS)
        return error; // still set in the file: still mirrored
    EndMirror();
    m_mirrorFolder.clear();
    m_mirrorRoot.clear();
    m_mirrorState = MirrorState();
    m_mirrorSaid.clear();
    if (IsChecking())
        StartCheck(); // this computer's copies alone from now on
    return ERROR_SUCCESS;
}

void CTallowboxDoc::RetryMirror() {
    if (m_mirror)
        m_mirror->Retry();
}

void CTallowboxDoc::MirrorStateChanged(const MirrorState& state) {
    const bool copying = state.phase == MirrorState::Phase::Copying;
    if (copying != (m_mirrorCopying != nullptr))
        m_mirrorCopying.reset(copying ? new CCheckPause::CHold() : nullptr);
    auto* posted = new MirrorState(state);
    if (!::PostMessageW(m_window, WM_MIRROR_STATE, 0, reinterpret_cast<LPARAM>(posted)))
        delete posted; // the window is gone
}

std::wstring CTallowboxDoc::OnMirrorState(LPARAM stateOwned) {
    const std::unique_ptr<MirrorState> state(reinterpret_cast<MirrorState*>(stateOwned));
    if (m_mirrorFolder.empty() || !m_mirror)
        return std::wstring(); // posted before the mirror was stopped
    m_mirrorState = *state;
    std::wstring text = BehindText(*state);
    switch (state->phase) {
    case MirrorState::Phase::Refused:
        text = MirrorRefusalText(state->refusal, m_mirrorFolder);
        break;
    case MirrorState::Phase::OtherProgram:
        text = LoadResourceText(IDS_MIRROR_OTHER_PROGRAM);
        break;
    case MirrorState::Phase::CaughtUp:
        if (state->failed > 0 || state->damaged > 0)
            text = HeldBackText(*state);
        else if (!m_mirrorSaid.empty() || state->copied > 1) // once it was behind, or after a catch-up
            text = LoadResourceText(IDS_MIRROR_CAUGHT_UP);
        break;
    default:
        break;
    }
    if (text.empty() || text == m_mirrorSaid)
        return std::wstring();
    m_mirrorSaid = text;
    return text;
}

std::wstring CTallowboxDoc::MirrorTip() const {
    if (!m_mirror)
        return std::wstring();
    if (m_mirrorState.phase == MirrorState::Phase::Copying)
        return FormatResourceText(IDS_MIRROR_COPYING, {std::to_wstring(m_mirrorState.waiting)});
    return BehindText(m_mirrorState);
}
