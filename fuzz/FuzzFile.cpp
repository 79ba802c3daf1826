#include "FuzzFile.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <unistd.h>

namespace
{
// One folder per process, so that parallel fuzzing jobs never share a file.
class CScratchFolder
{
public:
    CScratchFolder()
    {
        // Memory-backed when there is such a folder: the store's loads and saves sync their
        // files, which on a disk would make each run take milliseconds.
        std::error_code error;
        const std::filesystem::path base = std::filesystem::is_directory("/dev/shm", error)
                                               ? std::filesystem::path("/dev/shm")
                                               : std::filesystem::temp_directory_path();
        std::string pattern = (base / "ombrix-fuzz-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr)
            std::abort();
        m_path = pattern;
    }
    ~CScratchFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    const std::filesystem::path& Path() const { return m_path; }

private:
    std::filesystem::path m_path;
};
} // namespace

std::string WriteFuzzFile(const uint8_t* data, size_t size, const std::string& name)
{
    static CScratchFolder folder;
    const std::string path = (folder.Path() / name).string();
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        std::abort();
    if (size > 0 && std::fwrite(data, 1, size, file) != size)
        std::abort();
    std::fclose(file);
    return path;
}
