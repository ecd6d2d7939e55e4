// CCheckPause: the background check yields to the work the user waits for. A backup, a restore, a
// cleanup, a compare or the mirror's copying holds the program's pause while it runs (a CHold);
// each check listening grows its interrupt count by one per hold, so its reads stop between two
// pieces, and is woken when the last hold goes. Any thread may hold or release.
#pragma once

#include <windows.h>

#include <mutex>
#include <vector>

class CCheckPause {
public:
    // The program's one pause: every kind of work holds this one.
    static CCheckPause& Program();

    // Held from construction to destruction.
    class CHold {
    public:
        explicit CHold(CCheckPause& pause = Program()) : m_pause(pause) { m_pause.Hold(); }
        ~CHold() { m_pause.Release(); }
        CHold(const CHold&) = delete;
        CHold& operator=(const CHold&) = delete;

    private:
        CCheckPause& m_pause;
    };

    void Hold();
    void Release();
    bool IsHeld() const;

    // A check's interrupt count (read as a BOOL between pieces) and the event that wakes it when
    // the pause ends. Listen adds the holds already taken; Unlisten takes them away again.
    struct Listener {
        volatile LONG* interrupt;
        HANDLE wake;
    };
    void Listen(const Listener& listener);
    void Unlisten(const Listener& listener);

private:
    mutable std::mutex m_mutex;
    LONG m_holds = 0;
    std::vector<Listener> m_listeners;
};
