// Where failures go without a window: one line on stderr per distinct error, so that a database
// that fails on every periodic save is reported once rather than every few minutes.
#pragma once

#include "core/CKavoLocker.h"
#include "db/IDatabaseListener.h"

#include <cstdint>
#include <map>
#include <string>

class CConsoleErrors final : public IDatabaseListener
{
public:
    // Called on any thread.
    void OnError(const CKavoException& error) override;
    uint64_t GetErrorCount();

private:
    CKavoLocker m_locker;
    std::map<std::string, uint64_t> m_seen; // text -> how often it came
    uint64_t m_count = 0;
};
