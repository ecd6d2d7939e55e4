#include "shell/document/TallowboxDoc.h"

#include "engine/base/Settings.h"
#include "engine/journal/Journal.h"
#include "framework/App.h"

#include <knownfolders.h>
#include <shlobj.h>

const CRuntimeClass CTallowboxDoc::runtimeClass = {"CTallowboxDoc", &CDocument::runtimeClass,
                                                   &CreateDynamic<CTallowboxDoc>};

std::wstring CTallowboxDoc::s_programFolderOverride;

namespace {

// Files copied at once by a folder item: the file system's waits overlap.
const unsigned kCopiers = 4;

// %LOCALAPPDATA%: where backups go when the program's folder cannot be written. Empty when unknown.
std::wstring LocalAppDataFolder() {
    std::wstring folder;
    wchar_t* known = nullptr;
    if (SUCCEEDED(::SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &known)) && known != nullptr)
        folder = known;
    ::CoTaskMemFree(known);
    if (folder.empty()) {
        std::vector<wchar_t> buffer(32768);
        const DWORD length =
            ::GetEnvironmentVariableW(L"LOCALAPPDATA", buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length > 0 && length < buffer.size())
            folder.assign(buffer.data(), length);
    }
    return folder;
}

// What the user is told once at start: the backups folder when it is not the usual one or cannot
// be used, and a settings file that was not read whole. Empty when there is nothing to say.
StatusReport StartNoticeOf(const BackupFolderChoice& choice, const TallowboxSettings& settings) {
    StatusReport notice;
    if (choice.error != ERROR_SUCCESS) {
        notice.push_back(Said(StatusCode::FolderUnusable, choice.root));
        notice.back().error = choice.error;
    } else if (choice.source == BackupFolderChoice::Source::FellBack) {
        notice.push_back(Said(StatusCode::FolderFellBack, choice.root));
    }
    if (settings.tooLarge)
        notice.push_back(Said(StatusCode::SettingsTooLarge, kSettingsFileName));
    if (settings.skippedLines > 0) {
        notice.push_back(Said(StatusCode::SettingsSkipped, kSettingsFileName));
        notice.back().count = settings.skippedLines;
    }
    return notice;
}

// The mirror as the history reads it: a full path that is neither the backups folder nor inside
// it nor containing it (every version would then seem to be in both places).
std::wstring MirrorRootOf(const TallowboxSettings& settings, const std::wstring& backupRoot) {
    const std::wstring mirror = WithoutTrailingSeparators(settings.mirrorFolder);
    if (!IsFullOriginalPath(mirror) || mirror.size() <= 3)
        return std::wstring();
    const std::wstring upperMirror = UpperCase(PlainPath(mirror)) + L"\\",
                       upperRoot = UpperCase(PlainPath(WithoutTrailingSeparators(backupRoot))) + L"\\";
    const bool overlaps = upperMirror.compare(0, upperRoot.size(), upperRoot) == 0 ||
                          upperRoot.compare(0, upperMirror.size(), upperMirror) == 0;
    return overlaps ? std::wstring() : mirror;
}

} // namespace

std::wstring CTallowboxDoc::ProgramFolderInUse() {
    return s_programFolderOverride.empty() ? GetModuleFolder() : s_programFolderOverride;
}

CTallowboxDoc::CTallowboxDoc() : m_programFolder(ProgramFolderInUse()) {
    const TallowboxSettings settings = ReadSettings(m_programFolder);
    const BackupFolderChoice choice = ChooseBackupFolder(m_programFolder, settings, LocalAppDataFolder());
    m_backupRoot = choice.root;
    m_mirrorRoot = MirrorRootOf(settings, m_backupRoot);
    m_leftOutPatterns = settings.excludes;
    m_diffTool = settings.diffTool;
    m_settleMs = settings.watchDelaySeconds * 1000;
    m_mirrorFolder = settings.mirrorFolder.empty() ? std::wstring() : MirrorFolderPath(settings.mirrorFolder);
    m_links = settings.links;
    m_checkDays = settings.checkDays;
    m_startNotice = StartNoticeOf(choice, settings);
}

// The worker's thread ends before the settings it reads go.
CTallowboxDoc::~CTallowboxDoc() {
    EndWork();
}

// Nothing is stored or loaded.
void CTallowboxDoc::Serialize(CArchive& ar) {
    (void)ar;
}

BOOL CTallowboxDoc::OnNewDocument() {
    return CDocument::OnNewDocument() ? TRUE : FALSE;
}

// The path on the command line is taken as the document's name only; it is never read.
BOOL CTallowboxDoc::OnOpenDocument(LPCSTR lpszPathName) {
    (void)lpszPathName;
    return TRUE;
}

void CTallowboxDoc::StartWork(HWND window) {
    m_window = window;
    m_worker.reset(
        new CBackupWorker(window, m_programFolder, kCopiers, m_backupRoot, m_leftOutPatterns, m_mirrorInbox));
}

void CTallowboxDoc::EndWork() {
    EndCheck();       // it posts to the window; its read ends after the piece in hand
    EndMirror();      // it asks the watcher whether this program mirrors
    EndWatching();    // it queues versions on the worker
    m_worker.reset(); // stops the copy; the thread ends before what it uses goes
    m_window = nullptr;
}

// The window starts showing the progress once the work is queued.
void CTallowboxDoc::Queued() {
    ::PostMessageW(m_window, WM_BACKUP_QUEUED, 0, 0);
}

void CTallowboxDoc::QueueBackup(std::vector<std::wstring> paths, SYSTEMTIME time) {
    if (!m_worker)
        return;
    m_worker->Queue(std::move(paths), time);
    Queued();
}

void CTallowboxDoc::QueueRestore(std::vector<BackupRow> rows, const std::wstring& folder) {
    if (!m_worker || rows.empty())
        return;
    SYSTEMTIME time;
    ::GetLocalTime(&time);
    if (folder.empty())
        m_worker->QueueRestore(std::move(rows), time);
    else
        m_worker->QueueTask([rows, folder, time](CBackupEngine& engine, CBackupHost& host) {
            for (const BackupRow& row : rows)
                engine.RestoreElsewhere(host, row, folder, time);
        });
    Queued();
}

void CTallowboxDoc::QueueTask(CBackupWorker::Task task) {
    if (!m_worker)
        return;
    m_worker->QueueTask(std::move(task));
    Queued();
}

void CTallowboxDoc::StopBackups() {
    if (m_worker)
        m_worker->StopAll();
}

bool CTallowboxDoc::IsBackingUp() const {
    return m_worker && m_worker->IsBusy();
}

BackupProgress CTallowboxDoc::Progress() const {
    return m_worker ? m_worker->Progress() : BackupProgress();
}
