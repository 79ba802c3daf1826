// Waits for IPv4 or IPv6 address changes or link changes (a netlink route socket), or for a stop
// request.
#pragma once

#include <chrono>

class CAddressWatch
{
public:
    enum class WaitResult
    {
        Changed,     // addresses were added, removed or changed, or a link changed state
        Interrupted, // Interrupt was called
        Timeout,
        Failed // the socket broke; the watch is over
    };

    // Opens the netlink socket and the wake-up descriptor; throws CKavoException with errno.
    CAddressWatch();
    ~CAddressWatch();
    CAddressWatch(const CAddressWatch&) = delete;
    CAddressWatch& operator=(const CAddressWatch&) = delete;

    // Blocks until an address change, an interruption or the time-out (negative: for ever).
    // Every notification pending at that moment is consumed, so a burst of changes (an interface
    // coming up with several addresses) gives one Changed.
    WaitResult Wait(std::chrono::milliseconds timeout = std::chrono::milliseconds(-1));

    // Wakes Wait from any thread. The request stays pending until Wait reports it, so an
    // interruption that comes before Wait is not lost.
    void Interrupt();

private:
    bool DrainNetlink();

    int m_netlink = -1;
    int m_wakeup = -1;
};
