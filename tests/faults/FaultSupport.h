// Helpers of the fault tests: each scenario runs in a forked child with a fresh engine (the
// filter manager and the database are process-wide), optionally on a small filesystem of its
// own in a private mount namespace, and checks with GoogleTest assertions there.
#pragma once

#include "app/CEngine.h"
#include "app/CLocalNetworks.h"
#include "core/CKavoLocker.h"
#include "db/IDatabaseListener.h"
#include "testsupport/QueryRows.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Exit status of a child that could not set up its scenario (no right to mount, for example).
constexpr int kChildSkipped = 77;

// Runs body in a forked child and returns its exit status: 0 when no assertion failed there,
// kChildSkipped when it called SkipChild, anything else on failure.
int RunInChild(const std::function<void()>& body);
[[noreturn]] void SkipChild(const std::string& reason);

// In the child: a private mount namespace with a tmpfs of the given options ("size=256k") on
// folder. Skips the child when mounting is not permitted.
void MountPrivateTmpfs(const std::string& folder, const std::string& options);
// Changes the size of that tmpfs ("size=64m"); false when refused.
bool RemountTmpfs(const std::string& folder, const std::string& options);
// In the child, after MountPrivateTmpfs: a read-only view of the folder laid over it, so that
// nothing new can be made there (files already open keep their descriptors, as on a system
// whose disk was switched to read-only under a running program); and taken away again.
bool MakeFolderReadOnly(const std::string& folder);
bool MakeFolderWritable(const std::string& folder);

// Every error the engine reports, in order; any thread may add.
class CErrorLog final : public IDatabaseListener
{
public:
    void OnError(const CKavoException& error) override;
    std::vector<std::string> Messages() const;
    size_t Count() const { return Messages().size(); }

private:
    mutable CKavoLocker m_locker;
    std::vector<std::string> m_messages;
};

// An engine setup that counts one network (198.18.0.0/16 unless given) as this computer,
// without the resolver.
struct FaultEngine
{
    explicit FaultEngine(const std::string& databasePath, const char* network = "198.18.0.0");
    CErrorLog errors;
    CLocalNetworks local;
    CEngine engine;
    EngineSetup setup;
};

// count remote hosts from 100.64.0.0 + first on send bytes each to 198.18.0.1, queued and
// dispatched before it returns.
void CountTraffic(CEngine& engine, uint32_t first, uint32_t count, uint32_t bytes);
// Saves every filter on the calling thread, as the save job does.
void SaveNow();
// "name|received|sent" per filter in memory, and the same from the MAIN table of a file.
std::string MemoryTotals();
std::string StoredTotals(const std::string& database);
