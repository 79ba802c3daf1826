// Runs a fuzz target over files and folders of inputs once, without libFuzzer: how the corpora
// are checked in the ordinary test suite and how a saved crash input is replayed under gdb.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

namespace
{
bool RunFile(const std::filesystem::path& path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
    {
        std::fprintf(stderr, "cannot read %s\n", path.c_str());
        return false;
    }
    const std::vector<char> bytes((std::istreambuf_iterator<char>(file)),
                                  std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    return true;
}
} // namespace

int main(int argc, char** argv)
{
    if (LLVMFuzzerInitialize != nullptr)
        LLVMFuzzerInitialize(&argc, &argv);
    size_t inputs = 0;
    bool ok = argc > 1;
    for (int i = 1; i < argc; ++i)
    {
        const std::filesystem::path path = argv[i];
        std::vector<std::filesystem::path> files;
        if (std::filesystem::is_directory(path))
        {
            for (const auto& entry : std::filesystem::directory_iterator(path))
                if (entry.is_regular_file())
                    files.push_back(entry.path());
        }
        else
        {
            files.push_back(path);
        }
        for (const std::filesystem::path& file : files)
        {
            std::printf("%s\n", file.c_str());
            std::fflush(stdout);
            ok = RunFile(file) && ok;
            ++inputs;
        }
    }
    std::printf("%zu inputs ran\n", inputs);
    return ok && inputs > 0 ? 0 : 1;
}
