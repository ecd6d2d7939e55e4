// The watcher's cost and its one-report-per-burst promise, on a real disk with real change
// notifications: 100 watched files, each in a folder of its own, and a watched folder of 40,000
// files. Prints the private memory the watches take above the idle start, the CPU time the process
// spends over an idle minute, the reports after 10,000 files of the folder are touched in 5 s, and
// the time from a 1 MiB file's save to its report.
//
//     watchbench.exe <empty work folder> [idle seconds, 60] [settle ms, 2000]
#include <windows.h>

#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>

#include "BenchClock.h"
#include "PrivateBytes.h"
#include "engine/watch/Watcher.h"

namespace {

const int kWatchedFiles = 100;
const int kFolders = 400, kFilesPerFolder = 100; // 40,000 files
const int kTouched = 10000;

class CountingHost : public CWatchHost {
public:
    void ItemSettled(const std::wstring& path) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_reports[path == folder ? 1 : 0];
        m_lastReportMs = NowMs();
        m_changed.notify_all();
    }
    void WatchStatesChanged() override {}
    // Waits until total reports have come or waitMs passed; the folder's and the others' counts.
    void WaitFor(int total, DWORD waitMs, int* folderReports, int* fileReports, double* lastReportMs) {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait_for(lock, std::chrono::milliseconds(waitMs),
                           [&] { return m_reports[0] + m_reports[1] >= total; });
        *folderReports = m_reports[1];
        *fileReports = m_reports[0];
        *lastReportMs = m_lastReportMs;
        m_reports[0] = m_reports[1] = 0;
    }
    std::wstring folder;

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_reports[2] = {0, 0};
    double m_lastReportMs = 0;
};

bool WriteBytes(const std::wstring& path, const std::string& bytes) {
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == bytes.size();
}

std::wstring FolderFile(const std::wstring& tree, int folder, int file) {
    return tree + L"\\d" + std::to_wstring(folder) + L"\\f" + std::to_wstring(file) + L".txt";
}

bool MakeTree(const std::wstring& work, const std::wstring& tree) {
    for (int item = 0; item < kWatchedFiles; ++item) {
        const std::wstring folder = work + L"\\items\\i" + std::to_wstring(item);
        CreateDirectoryW((work + L"\\items").c_str(), nullptr);
        CreateDirectoryW(folder.c_str(), nullptr);
        if (!WriteBytes(folder + L"\\doc.txt", "watched"))
            return false;
    }
    CreateDirectoryW(tree.c_str(), nullptr);
    for (int folder = 0; folder < kFolders; ++folder) {
        CreateDirectoryW((tree + L"\\d" + std::to_wstring(folder)).c_str(), nullptr);
        for (int file = 0; file < kFilesPerFolder; ++file)
            if (!WriteBytes(FolderFile(tree, folder, file), "x"))
                return false;
    }
    return true;
}

double CpuMs() {
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    auto ms = [](const FILETIME& time) {
        return static_cast<double>((static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime) /
               10000.0;
    };
    return ms(kernel) + ms(user);
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: watchbench <empty work folder> [idle seconds] [settle ms]\n");
        return 2;
    }
    const std::wstring work = argv[1];
    const int idleSeconds = argc > 2 ? _wtoi(argv[2]) : 60;
    const DWORD settleMs = argc > 3 ? static_cast<DWORD>(_wtoi(argv[3])) : 2000;
    const std::wstring tree = work + L"\\tree", backups = work + L"\\backups";
    std::printf("making 100 items and a folder of 40,000 files...\n");
    if (!MakeTree(work, tree)) {
        std::fprintf(stderr, "could not make the tree\n");
        return 1;
    }
    CountingHost host;
    host.folder = tree;
    PrivateMemory idle = PrivateBytes();
    {
        // The thread alone (its stack is all committed under some emulators) told apart from the watches.
        CountingHost none;
        CWatcher empty(none, work + L"\\other backups", {}, settleMs);
        empty.Start();
        Sleep(500);
        std::printf("an empty watcher above idle: %.0f KiB\n",
                    static_cast<double>(PrivateBytes().bytes - idle.bytes) / 1024.0);
    }
    idle = PrivateBytes();
    int folderReports = 0, fileReports = 0;
    double lastReportMs = 0;
    {
        CWatcher watcher(host, backups, {}, settleMs);
        for (int item = 0; item < kWatchedFiles; ++item)
            watcher.Add(work + L"\\items\\i" + std::to_wstring(item) + L"\\doc.txt");
        watcher.Add(tree);
        watcher.Start();
        host.WaitFor(kWatchedFiles + 1, 60000, &folderReports, &fileReports, &lastReportMs);
        const PrivateMemory watching = PrivateBytes();
        std::printf("start: %d item reports, %d folder report\n", fileReports, folderReports);
        std::printf("memory above idle: %.0f KiB (%s)\n",
                    static_cast<double>(watching.bytes - idle.bytes) / 1024.0, watching.source);

        const double cpuBefore = CpuMs();
        Sleep(static_cast<DWORD>(idleSeconds) * 1000);
        std::printf("CPU time over %d s idle: %.1f ms\n", idleSeconds, CpuMs() - cpuBefore);

        const double touchStart = NowMs();
        for (int touched = 0; touched < kTouched; ++touched) {
            WriteBytes(FolderFile(tree, touched % kFolders, touched / kFolders), "touched");
            const double due = touchStart + 5000.0 * (touched + 1) / kTouched;
            while (NowMs() < due)
                Sleep(1);
        }
        const double touchEnd = NowMs();
        host.WaitFor(1, 30000, &folderReports, &fileReports, &lastReportMs);
        Sleep(settleMs + 2000); // a second report would come by now
        int moreFolder = 0, moreFiles = 0;
        double unused = 0;
        host.WaitFor(1, 0, &moreFolder, &moreFiles, &unused);
        std::printf("10,000 files touched in %.1f s: %d folder report(s), %.0f ms after the last touch\n",
                    (touchEnd - touchStart) / 1000.0, folderReports + moreFolder, lastReportMs - touchEnd);

        const std::wstring saved = work + L"\\items\\i0\\doc.txt";
        WriteBytes(saved, std::string(1024 * 1024, 's'));
        const double savedAt = NowMs();
        host.WaitFor(1, 30000, &folderReports, &fileReports, &lastReportMs);
        std::printf("1 MiB saved: reported %.0f ms after the save (settle time %lu ms)\n",
                    lastReportMs - savedAt, settleMs);
    }
    return 0;
}
