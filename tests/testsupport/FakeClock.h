// A clock that tests move by hand.
#pragma once

#include "core/IClock.h"

#include <atomic>

class FakeClock final : public IClock
{
public:
    explicit FakeClock(int64_t now = 1714932000) : m_now(now) {}
    int64_t Now() const override { return m_now.load(); }
    void Set(int64_t now) { m_now.store(now); }

private:
    std::atomic<int64_t> m_now;
};
