#include "platform/DataFolder.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
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

// Closes the descriptor with the object.
struct CDescriptor
{
    int fd;
    ~CDescriptor()
    {
        if (fd >= 0)
            close(fd);
    }
};

bool WriteAll(int fd, const char* data, size_t size)
{
    while (size > 0)
    {
        const ssize_t written = write(fd, data, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

// Copies byte for byte and syncs. A read error (a failing disk) must not pass for the end of
// the file, nor may a short write or a failed close pass for a copy.
bool CopyWhole(const fs::path& from, const fs::path& to)
{
    CDescriptor in{open(from.c_str(), O_RDONLY | O_CLOEXEC)};
    if (in.fd < 0)
        return false;
    CDescriptor out{open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644)};
    if (out.fd < 0)
        return false;
    char buffer[65536];
    while (true)
    {
        const ssize_t count = read(in.fd, buffer, sizeof(buffer));
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0)
            return false;
        if (count == 0)
            break;
        if (!WriteAll(out.fd, buffer, static_cast<size_t>(count)))
            return false;
    }
    const int descriptor = out.fd;
    out.fd = -1;
    const bool synced = fsync(descriptor) == 0;
    return close(descriptor) == 0 && synced;
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
