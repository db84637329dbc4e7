#include "platform/AtomicFile.h"

#include "platform/UniqueFd.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace pelorix
{

bool writeFileAtomically(const std::string &path, std::string_view contents)
{
    std::string tmp = path + ".tmpXXXXXX";
    // Close-on-exec: a program another thread starts meanwhile must not inherit the half-written file.
    UniqueFd fd(::mkostemp(tmp.data(), O_CLOEXEC));
    if (fd.get() < 0)
        return false;
    ::fchmod(fd.get(), 0644);
    if (!writeAll(fd.get(), contents) || ::fsync(fd.get()) != 0 || !fd.close()) {
        ::unlink(tmp.c_str());
        return false;
    }
    if (::rename(tmp.c_str(), path.c_str()) != 0) {
        ::unlink(tmp.c_str());
        return false;
    }
    UniqueFd dir(::open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0)
        ::fsync(dir.get());
    return true;
}

bool readWholeFile(const std::string &path, std::string &contents, std::size_t maxBytes)
{
    const UniqueFd fd = openRegularFile(path);
    if (!fd)
        return false;
    contents.clear();
    const std::size_t oneMore = maxBytes < SIZE_MAX ? maxBytes + 1 : SIZE_MAX;
    return readAll(fd.get(), contents, oneMore) && contents.size() <= maxBytes;
}

UniqueFd openRegularFile(const std::string &path)
{
    // Not blocking, so that a FIFO in the file's place is refused below instead of waiting for a writer.
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    struct stat st {
    };
    if (fd && (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)))
        fd.reset();
    return fd;
}

bool writeAll(int fd, std::string_view data)
{
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

bool readPieces(int fd, const std::function<bool(std::string_view)> &take)
{
    std::vector<char> buffer(64 * 1024);
    for (;;) {
        const ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0 || !take(std::string_view(buffer.data(), static_cast<std::size_t>(n))))
            return true;
    }
}

bool readAll(int fd, std::string &contents, std::size_t limit)
{
    if (limit == 0)
        return true;
    return readPieces(fd, [&](std::string_view piece) {
        piece = piece.substr(0, limit);
        contents.append(piece);
        limit -= piece.size();
        return limit > 0;
    });
}

std::string folderOf(const std::string &path)
{
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

} // namespace pelorix
