#include "platform/DataFolder.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <system_error>
#include <unistd.h>

namespace fs = std::filesystem;

namespace
{
std::string WithSlash(std::string folder)
{
    if (folder.empty() || folder.back() != '/')
        folder += '/';
    return folder;
}

std::string UserDataHome()
{
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg != nullptr && xdg[0] == '/')
        return xdg;
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] != '\0')
        return std::string(home) + "/.local/share";
    return {};
}

// Copies byte for byte and flushes; a short write or a failed close is a failed copy.
bool CopyWhole(const fs::path& from, const fs::path& to)
{
    std::ifstream in(from, std::ios::binary);
    if (!in)
        return false;
    std::ofstream out(to, std::ios::binary | std::ios::trunc);
    if (!out)
        return false;
    out << in.rdbuf();
    if (!in.good() && !in.eof())
        return false;
    out.flush();
    out.close();
    return !out.fail();
}
} // namespace

std::string GetExecutableFolder()
{
    static const std::string folder = []
    {
        std::error_code error;
        const fs::path exe = fs::read_symlink("/proc/self/exe", error);
        if (error)
            return WithSlash(fs::current_path(error).string());
        return WithSlash(exe.parent_path().string());
    }();
    return folder;
}

std::string MakeDataFolder(const std::string& dataHome, const std::string& fallback)
{
    if (dataHome.empty())
        return WithSlash(fallback);
    const fs::path folder = fs::path(dataHome) / "Ombrix";
    std::error_code error;
    fs::create_directories(folder, error);
    if (!fs::is_directory(folder, error))
        return WithSlash(fallback);
    return WithSlash(folder.string());
}

std::string GetDataFolder()
{
    static const std::string folder = MakeDataFolder(UserDataHome(), GetExecutableFolder());
    return folder;
}

std::string GetDatabasePath()
{
    return GetDataFolder() + "traffic.db";
}

bool PlaceDatabase(const std::string& dataFolder, const std::string& executableFolder)
{
    const fs::path target = fs::path(dataFolder) / "traffic.db";
    const fs::path old = fs::path(executableFolder) / "traffic.db";
    std::error_code error;
    if (fs::equivalent(fs::path(dataFolder), fs::path(executableFolder), error))
        return false;
    if (fs::exists(target, error) || !fs::is_regular_file(old, error))
        return false;

    // Copy under a temporary name and move it into place at the end, so that an interrupted copy
    // never leaves a truncated "traffic.db" that a later start would take for the database.
    const fs::path partial = fs::path(dataFolder) / "traffic.db.part";
    if (!CopyWhole(old, partial))
    {
        fs::remove(partial, error);
        return false;
    }
    // link() refuses to replace a file that appeared meanwhile.
    if (::link(partial.c_str(), target.c_str()) != 0)
    {
        fs::remove(partial, error);
        return false;
    }
    fs::remove(partial, error);
    fs::rename(old, fs::path(executableFolder) / "traffic.bak", error);
    return true;
}
