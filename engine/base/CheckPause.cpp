#include "engine/base/CheckPause.h"

#include <algorithm>

CCheckPause& CCheckPause::Program() {
    static CCheckPause pause;
    return pause;
}

// Under the lock, so a listener's count always equals the holds plus its own stop.
void CCheckPause::Hold() {
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_holds;
    for (const Listener& listener : m_listeners)
        ::InterlockedIncrement(listener.interrupt);
}

void CCheckPause::Release() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_holds == 0)
        return;
    --m_holds;
    for (const Listener& listener : m_listeners) {
        ::InterlockedDecrement(listener.interrupt);
        if (m_holds == 0)
            ::SetEvent(listener.wake);
    }
}

bool CCheckPause::IsHeld() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_holds > 0;
}

void CCheckPause::Listen(const Listener& listener) {
    std::lock_guard<std::mutex> lock(m_mutex);
    ::InterlockedExchangeAdd(listener.interrupt, m_holds);
    m_listeners.push_back(listener);
}

void CCheckPause::Unlisten(const Listener& listener) {
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto found = std::find_if(m_listeners.begin(), m_listeners.end(),
                                    [&](const Listener& l) { return l.interrupt == listener.interrupt; });
    if (found == m_listeners.end())
        return;
    m_listeners.erase(found);
    ::InterlockedExchangeAdd(listener.interrupt, -m_holds);
}
