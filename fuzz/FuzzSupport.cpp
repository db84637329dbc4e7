#include "FuzzSupport.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <unistd.h>

namespace pelorix::fuzz
{

namespace
{

std::string g_scratch;

void removeScratch()
{
    std::error_code ignored;
    std::filesystem::remove_all(g_scratch, ignored);
}

} // namespace

const std::string &scratchFolder()
{
    if (g_scratch.empty()) {
        const char *tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/pelorix-fuzz-XXXXXX";
        if (!::mkdtemp(pattern.data())) {
            std::perror("mkdtemp");
            std::abort();
        }
        g_scratch = pattern + '/';
        std::atexit(removeScratch);
    }
    return g_scratch;
}

void require(bool holds, const char *what)
{
    if (holds)
        return;
    std::fprintf(stderr, "fuzz property broken: %s\n", what);
    std::abort();
}

} // namespace pelorix::fuzz
