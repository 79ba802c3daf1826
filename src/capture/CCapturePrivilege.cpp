#include "capture/CCapturePrivilege.h"

#include <initializer_list>
#include <sys/capability.h>
#include <unistd.h>

namespace
{
// libcap's cap_set_proc changes the calling thread only (the process-wide variant is libpsx's).
bool SetEffective(bool raise)
{
    cap_t capabilities = cap_get_proc();
    if (capabilities == nullptr)
        return false;
    bool changed = false;
    if (raise)
    {
        for (cap_value_t value : {CAP_NET_RAW, CAP_NET_ADMIN})
        {
            cap_flag_value_t permitted = CAP_CLEAR;
            if (cap_get_flag(capabilities, value, CAP_PERMITTED, &permitted) == 0 &&
                permitted == CAP_SET)
                changed =
                    cap_set_flag(capabilities, CAP_EFFECTIVE, 1, &value, CAP_SET) == 0 || changed;
        }
    }
    else
    {
        changed = cap_clear_flag(capabilities, CAP_EFFECTIVE) == 0;
    }
    changed = changed && cap_set_proc(capabilities) == 0;
    cap_free(capabilities);
    return changed;
}
} // namespace

void DropEffectiveCapabilities()
{
    if (!RunsAsRoot())
        SetEffective(false);
}

bool RunsAsRoot()
{
    return geteuid() == 0;
}

CCapturePrivilege::CCapturePrivilege()
{
    if (!RunsAsRoot())
        m_raised = SetEffective(true);
}

CCapturePrivilege::~CCapturePrivilege()
{
    if (m_raised)
        SetEffective(false);
}
