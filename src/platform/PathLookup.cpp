#include "platform/PathLookup.h"

#include "platform/SystemText.h"

#include <dirent.h>
#include <limits.h>
#include <memory>
#include <string_view>
#include <sys/stat.h>

namespace pelorix
{

namespace
{

// A folder with more entries than this is not searched further: the lookup ends instead of walking on.
constexpr int kEntryLimit = 100000;

struct DirCloser {
    void operator()(DIR *dir) const { ::closedir(dir); }
};

bool exists(const std::string &path)
{
    struct stat info {
    };
    return ::lstat(path.c_str(), &info) == 0;
}

// The entry of `folder` whose name equals `part` without regard to ASCII case; empty when there is none.
std::string entryIgnoringCase(const std::string &folder, std::string_view part)
{
    std::unique_ptr<DIR, DirCloser> dir(::opendir(folder.empty() ? "." : folder.c_str()));
    if (!dir)
        return {};
    int seen = 0;
    while (const dirent *entry = ::readdir(dir.get())) {
        if (++seen > kEntryLimit)
            return {};
        if (equalsIgnoringAsciiCase(entry->d_name, part))
            return entry->d_name;
    }
    return {};
}

} // namespace

std::string findPathIgnoringCase(const std::string &path)
{
    if (path.empty() || path.size() >= PATH_MAX)
        return {};
    if (exists(path))
        return path;
    std::string found = path.front() == '/' ? "/" : "";
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t end = std::min(path.find('/', start), path.size());
        const std::string_view part = std::string_view(path).substr(start, end - start);
        start = end + 1;
        if (part.empty())
            continue;
        std::string candidate = found + std::string(part);
        if (!exists(candidate)) {
            if (part == "." || part == "..")
                return {};
            const std::string name = entryIgnoringCase(found, part);
            if (name.empty())
                return {};
            candidate = found + name;
        }
        found = candidate;
        if (end < path.size())
            found += '/';
    }
    return found;
}

} // namespace pelorix
