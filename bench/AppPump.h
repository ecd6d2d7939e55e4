// The program's message loop, as its own loop runs it, for the benchmarks that drive the real
// application classes in their own process.
#pragma once

#include "framework/App.h"

#include <windows.h>

enum class PumpResult { Done, Quit, TimedOut };

// The message loop of the program, until done() holds, WM_QUIT arrives or the bound passes.
// Messages go through the application object, as its own loop sends them.
template <typename Done> PumpResult Pump(CWinApp& app, DWORD limitMs, Done done) {
    const ULONGLONG deadline = ::GetTickCount64() + limitMs;
    for (;;) {
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT)
                return PumpResult::Quit;
            app.ProcessMessage(msg);
            if (done())
                return PumpResult::Done;
        }
        if (done())
            return PumpResult::Done;
        const ULONGLONG now = ::GetTickCount64();
        if (now >= deadline)
            return PumpResult::TimedOut;
        ::MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(deadline - now), QS_ALLINPUT,
                                      MWMO_INPUTAVAILABLE);
    }
}

// Everything already queued, then back.
inline void PumpPending(CWinApp& app) {
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT)
            return;
        app.ProcessMessage(msg);
    }
}
