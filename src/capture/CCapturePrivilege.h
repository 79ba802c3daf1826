// Keeps the capture capabilities out of every thread's effective set except while a device opens.
#pragma once

// Clears the effective capability set of the calling thread and keeps the permitted one. Called
// first thing in main, before any thread exists, so that every later thread starts with none.
// A process run by root keeps root's capabilities: there is nothing to protect it from.
void DropEffectiveCapabilities();

// True when the process runs with root's effective user id.
bool RunsAsRoot();

// Raises CAP_NET_RAW and CAP_NET_ADMIN (those of them the permitted set holds) into the effective
// set of the calling thread for the guard's lifetime. Capabilities belong to each thread: other
// threads never see them. Root's capabilities are left as they are.
class CCapturePrivilege
{
public:
    CCapturePrivilege();
    ~CCapturePrivilege();
    CCapturePrivilege(const CCapturePrivilege&) = delete;
    CCapturePrivilege& operator=(const CCapturePrivilege&) = delete;

private:
    bool m_raised = false;
};
