// A veth pair whose far end lives in a network namespace made for one test, and shell helpers for
// the live tests that use it.
#pragma once

#include "testsupport/WaitUntil.h"

#include <functional>
#include <string>

// Runs a command through the shell with its output discarded; true when it exits with 0.
bool Shell(const std::string& command);
// Whether this process may create namespaces and interfaces (CAP_NET_ADMIN effective).
bool HasNetAdmin();

// Runs body in a child process with a network namespace of its own (a user namespace grants the
// right without root), so that links and addresses change there without privileges. Returns the
// body's result (the child's exit status), or -1 when no namespace could be made.
int RunInOwnNetwork(const std::function<int()>& body);
// Sets the loopback device of the caller's namespace up (the kernel then gives it 127.0.0.1) or
// down, or gives it another address; false when that fails.
bool SetLoopback(bool up);
bool SetLoopbackAddress(const char* dotted);

// The host end stays in this namespace with a 198.19.x.y/30 address from the pid, so that
// parallel runs do not share a subnet. Everything is removed in the destructor.
class VethNamespace
{
public:
    VethNamespace();
    ~VethNamespace();
    VethNamespace(const VethNamespace&) = delete;
    VethNamespace& operator=(const VethNamespace&) = delete;

    bool Ok() const { return m_ok; }
    std::string InNamespace(const std::string& command) const
    {
        return "ip netns exec " + m_namespace + " " + command;
    }
    // Sends one datagram of payload bytes from the far end to the host end.
    // bash's /dev/udp opens the socket inside the namespace; one write is one datagram.
    bool SendUdpToHost(uint16_t port, size_t payload) const
    {
        return Shell(InNamespace("bash -c 'head -c " + std::to_string(payload) +
                                 " /dev/zero >/dev/udp/" + m_hostAddress + "/" +
                                 std::to_string(port) + "'"));
    }

    std::string m_namespace, m_host, m_far, m_hostAddress, m_farAddress;

private:
    bool m_ok = false;
};
