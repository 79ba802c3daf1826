// The end requests of a window-less run: SIGINT, SIGTERM and SIGHUP (the session ending) read
// from a signalfd by the main loop, so no work happens in a signal handler. SIGPIPE is ignored.
#pragma once

#include <chrono>

class CSignalWatch
{
public:
    // Blocks the three signals for the calling thread; create it before any other thread so
    // that every thread inherits the mask and the signals reach only the descriptor.
    CSignalWatch();
    ~CSignalWatch();
    CSignalWatch(const CSignalWatch&) = delete;
    CSignalWatch& operator=(const CSignalWatch&) = delete;

    // Waits up to timeout; returns the number of the signal that arrived, or 0.
    int Wait(std::chrono::milliseconds timeout);
    // Returns at once: the signal waiting, or 0.
    int Poll() { return Wait(std::chrono::milliseconds(0)); }
    // Readable when a signal waits (for an event loop's socket notifier); read it with Poll.
    int Descriptor() const { return m_descriptor; }
    // Lets the end signals end the process at once again (on the calling thread), for a wait in
    // which nothing needs saving, such as a message that no event loop of ours watches.
    void EndAtOnce();

private:
    int m_descriptor = -1;
};
