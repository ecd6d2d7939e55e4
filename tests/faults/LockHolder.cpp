// Holds a file open with no sharing and an exclusive lock over all of it, as another program
// writing it would, until the test lets go. Usage: fault_lock_holder <file> <event name>;
// sets "<event name>-held" once the lock is taken and ends when "<event name>-release" is set
// (or after a minute). Exit code 0 when the lock was held, 1 when it could not be taken.
#include <windows.h>

#include <string>

int main(int argc, char** argv) {
    if (argc != 3)
        return 2;
    const std::string base = argv[2];
    HANDLE held = ::CreateEventA(nullptr, TRUE, FALSE, (base + "-held").c_str());
    HANDLE release = ::CreateEventA(nullptr, TRUE, FALSE, (base + "-release").c_str());
    HANDLE file = ::CreateFileA(argv[1], GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    OVERLAPPED whole = {};
    const bool locked = file != INVALID_HANDLE_VALUE &&
                        ::LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole);
    if (locked) {
        ::SetEvent(held);
        ::WaitForSingleObject(release, 60000);
    }
    if (file != INVALID_HANDLE_VALUE)
        ::CloseHandle(file);
    ::CloseHandle(release);
    ::CloseHandle(held);
    return locked ? 0 : 1;
}
