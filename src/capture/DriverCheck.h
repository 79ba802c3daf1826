// Makes sure at start that the kernel can capture packets, loading its module when it cannot.
#pragma once

#include <string>
#include <sys/types.h>

// The few system calls the check needs, injectable so that tests see which ones are made.
class IDriverSystem
{
public:
    virtual uid_t EffectiveUserId() = 0;
    // True when a raw packet socket can be created (and is closed again at once).
    virtual bool CanOpenPacketSocket() = 0;
    // Runs the module loader quietly; true when it reports success.
    virtual bool LoadModule(const std::string& name) = 0;

protected:
    ~IDriverSystem() = default;
};

// The real system.
IDriverSystem& SystemDriverSystem();

// Runs "<loader> -q <module>" with its output discarded and an environment of a fixed PATH only;
// true when it exits with status 0.
bool RunModuleLoader(const char* loader, const std::string& module);

enum class DriverCheckResult
{
    NotAdministrator, // nothing was asked of the system
    Present,
    Loaded,
    Missing
};

// Only an administrator may load modules, so for anyone else this does nothing at all. Never
// reports to the user: capture succeeds or fails on its own afterwards. Every mode that captures
// calls it before opening devices when the setting Adapter_CheckDriver is on.
DriverCheckResult CheckCaptureDriver(IDriverSystem& system = SystemDriverSystem());
