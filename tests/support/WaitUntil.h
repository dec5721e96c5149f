#pragma once
// Real-time wait for what another thread does (a server thread, a reader thread); only for the
// tests' own synchronisation, never as an assertion on speed.

#include <chrono>
#include <functional>
#include <thread>

namespace qrb::test {

// True as soon as done() holds; false when timeoutMs passed first.
inline bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 5000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

} // namespace qrb::test
