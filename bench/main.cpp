#include "Bench.h"

#include <cstring>
#include <map>

namespace
{
struct Entry
{
    const char* help;
    BenchFunction function;
};

std::map<std::string, Entry>& Registry()
{
    static std::map<std::string, Entry> registry;
    return registry;
}
} // namespace

BenchRegistration::BenchRegistration(const char* name, const char* help, BenchFunction function)
{
    Registry()[name] = Entry{help, function};
}

void PrintFigure(const char* name, double value, const char* unit)
{
    std::printf("%s: %.6g %s\n", name, value, unit);
    std::fflush(stdout);
}

int main(int argc, char** argv)
{
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || Registry().count(argv[1]) == 0)
    {
        std::fprintf(stderr, "usage: ombrix-bench <benchmark> [options]\n\nbenchmarks:\n");
        for (const auto& [name, entry] : Registry())
            std::fprintf(stderr, "  %-10s %s\n", name.c_str(), entry.help);
        return argc < 2 ? 2 : (std::strcmp(argv[1], "--help") == 0 ? 0 : 2);
    }
    return Registry()[argv[1]].function(argc - 1, argv + 1);
}
