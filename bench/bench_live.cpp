// Live capacity: runs bench/live.sh (namespaces, a veth pair, tcpreplay at rising rates) against
// the ombrix built beside this program.
#include "Bench.h"

#include <cerrno>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

#ifndef OMBRIX_SOURCE_DIR
#error "OMBRIX_SOURCE_DIR names the source tree that holds bench/live.sh"
#endif

OMBRIX_BENCH(live, "veth capacity: lossless and full-speed capture rates of ombrix and darkstat")
{
    char self[4096] = {};
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    std::string folder = length > 0 ? std::string(self, static_cast<size_t>(length)) : "";
    folder = folder.substr(0, folder.rfind('/') + 1);
    std::vector<std::string> words = {"bash", std::string(OMBRIX_SOURCE_DIR) + "/bench/live.sh",
                                      "--ombrix", folder + "ombrix"};
    for (int i = 1; i < argc; ++i)
        words.emplace_back(argv[i]);
    std::vector<char*> arguments;
    for (std::string& word : words)
        arguments.push_back(word.data());
    arguments.push_back(nullptr);
    execvp("bash", arguments.data());
    std::fprintf(stderr, "ombrix-bench live: cannot run bash: %s\n", std::strerror(errno));
    return 1;
}
