#include "core/IClock.h"

#include <ctime>

namespace
{
class CSystemClock final : public IClock
{
public:
    int64_t Now() const override { return static_cast<int64_t>(std::time(nullptr)); }
};
} // namespace

IClock& SystemClock()
{
    static CSystemClock clock;
    return clock;
}
