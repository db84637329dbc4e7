// Peak memory of `pelorix-cli refresh` against lists far longer than a refresh keeps: a service reply of 32 MiB of
// line feeds, one of a million short lines, and the same lines in cache.dat and white_list.txt with the service
// unreachable. The lists come from a loopback HTTP server in this program; the addresses point at a loopback UDP
// port where nothing listens, so every query ends at once. Target: a peak resident set below 128 MiB.
//   cli_refresh_memory_bench [target_mib=128]
#include "platform/UniqueFd.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace
{

using pelorix::UniqueFd;
using Clock = std::chrono::steady_clock;

// Serves the same file as the body of every GET, with its Content-Length, on 127.0.0.1 and a port the system
// picks. The body is read from the file for each reply, so that this process stays small: a child started by
// fork() begins with this process's resident set, and its peak is what is measured.
class ListServer
{
  public:
    explicit ListServer(std::string bodyFile)
        : m_bodyFile(std::move(bodyFile))
    {
        m_listener.reset(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(m_listener.get(), reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
            ::listen(m_listener.get(), 16) != 0 ||
            ::getsockname(m_listener.get(), reinterpret_cast<sockaddr *>(&address), &length) != 0)
            std::abort();
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { run(); });
    }
    ~ListServer()
    {
        m_stop = true;
        m_thread.join();
    }
    ListServer(const ListServer &) = delete;
    ListServer &operator=(const ListServer &) = delete;

    std::string hostPort() const { return "127.0.0.1:" + std::to_string(m_port); }

  private:
    void run()
    {
        while (!m_stop) {
            pollfd wait{m_listener.get(), POLLIN, 0};
            if (::poll(&wait, 1, 50) <= 0)
                continue;
            const UniqueFd client(::accept4(m_listener.get(), nullptr, nullptr, SOCK_CLOEXEC));
            if (!client)
                continue;
            // The request up to its empty line, then the reply.
            std::string request;
            char buffer[65536];
            while (request.find("\r\n\r\n") == std::string::npos && request.size() < 65536) {
                const ssize_t n = ::recv(client.get(), buffer, sizeof buffer, 0);
                if (n <= 0)
                    break;
                request.append(buffer, static_cast<size_t>(n));
            }
            const UniqueFd body(::open(m_bodyFile.c_str(), O_RDONLY | O_CLOEXEC));
            struct stat st {
            };
            if (!body || ::fstat(body.get(), &st) != 0)
                continue;
            const std::string head =
                "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\nContent-Length: " + std::to_string(st.st_size) +
                "\r\n\r\n";
            bool sending = sendAll(client.get(), head);
            for (ssize_t n; sending && (n = ::read(body.get(), buffer, sizeof buffer)) > 0;)
                sending = sendAll(client.get(), std::string_view(buffer, static_cast<size_t>(n)));
        }
    }
    static bool sendAll(int fd, std::string_view data)
    {
        while (!data.empty()) {
            const ssize_t n = ::send(fd, data.data(), data.size(), MSG_NOSIGNAL);
            if (n <= 0)
                return false;
            data.remove_prefix(static_cast<size_t>(n));
        }
        return true;
    }

    std::string m_bodyFile;
    UniqueFd m_listener;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

// A loopback port that was free a moment ago (bound to port 0, then released).
int freePort(int type)
{
    const UniqueFd fd(::socket(AF_INET, type | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(fd.get(), reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
        ::getsockname(fd.get(), reinterpret_cast<sockaddr *>(&address), &length) != 0)
        std::abort();
    return ntohs(address.sin_port);
}

std::string readText(const std::string &path)
{
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

void writeText(const std::string &path, const std::string &text)
{
    std::ofstream(path, std::ios::binary) << text;
}

size_t countOf(const std::string &text, const std::string &what)
{
    size_t count = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size()))
        ++count;
    return count;
}

struct Measured {
    int status = -1;
    double wallS = 0;
    long peakRssKib = 0;
};

// Runs the program with standard output to a file and standard error discarded; its own peak resident set.
Measured run(const std::string &program, const std::vector<std::string> &args, const std::string &outPath,
             const std::map<std::string, std::string> &env)
{
    Measured m;
    const auto begin = Clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        for (const auto &[key, value] : env)
            ::setenv(key.c_str(), value.c_str(), 1);
        UniqueFd out(::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644));
        UniqueFd null(::open("/dev/null", O_RDWR));
        ::dup2(out.get(), STDOUT_FILENO);
        ::dup2(null.get(), STDERR_FILENO);
        ::dup2(null.get(), STDIN_FILENO);
        std::vector<char *> argv{const_cast<char *>(program.c_str())};
        for (const auto &a : args)
            argv.push_back(const_cast<char *>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    m.wallS = std::chrono::duration<double>(Clock::now() - begin).count();
    m.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    m.peakRssKib = usage.ru_maxrss;
    return m;
}

// The lists, as files in the scratch folder.
enum class ListText { None, Feeds, MillionLines };

struct Scenario {
    std::string name;
    ListText service; // None: the service is unreachable
    ListText cacheFile;
    ListText whiteListFile;
};

} // namespace

int main(int argc, char **argv)
{
    const long targetMib = argc > 1 ? std::atol(argv[1]) : 128;
    std::string lists = (std::filesystem::temp_directory_path() / "pelorix-memory-bench-XXXXXX").string();
    if (!::mkdtemp(lists.data()))
        return 1;
    lists += '/';
    std::map<ListText, std::string> files{{ListText::Feeds, lists + "feeds.txt"},
                                          {ListText::MillionLines, lists + "million.txt"}};
    writeText(files[ListText::Feeds], std::string(32u * 1024 * 1024, '\n'));
    {
        const std::string silent = "127.0.0.1:" + std::to_string(freePort(SOCK_DGRAM)) + "\n";
        std::string millionLines;
        for (int i = 0; i < 1'000'000; ++i)
            millionLines += silent;
        writeText(files[ListText::MillionLines], millionLines + "END\n");
    }

    const Scenario scenarios[] = {
        {"service: 32 MiB of line feeds", ListText::Feeds, ListText::None, ListText::None},
        {"service: a million short lines", ListText::MillionLines, ListText::None, ListText::None},
        {"cache.dat: 32 MiB of line feeds", ListText::None, ListText::Feeds, ListText::None},
        {"cache.dat and white_list.txt: a million lines", ListText::None, ListText::MillionLines,
         ListText::MillionLines},
    };
    std::printf("pelorix-cli refresh --keep-unanswered against long lists (target: peak RSS below %ld MiB)\n",
                targetMib);
    bool allWithin = true;
    for (const auto &s : scenarios) {
        const std::string dir = lists + "home/";
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
        std::filesystem::create_directory(dir);
        if (s.cacheFile != ListText::None)
            std::filesystem::copy_file(files[s.cacheFile], dir + "cache.dat");
        if (s.whiteListFile != ListText::None)
            std::filesystem::copy_file(files[s.whiteListFile], dir + "white_list.txt");
        std::optional<ListServer> server;
        std::string host = "127.0.0.1:" + std::to_string(freePort(SOCK_STREAM));
        if (s.service != ListText::None) {
            server.emplace(files[s.service]);
            host = server->hostPort();
        }
        const Measured m = run(PELORIX_CLI_BIN, {"refresh", "--json", "--keep-unanswered"}, lists + "out.json",
                               {{"PELORIX_HOME", dir}, {"PELORIX_MASTER_HOST", host}, {"XDG_CONFIG_HOME", dir}});
        server.reset();
        const std::string out = readText(lists + "out.json");
        const std::string cache = readText(dir + "cache.dat");
        const bool within = m.peakRssKib < targetMib * 1024;
        allWithin = allWithin && within;
        std::printf("  %-46s status=%d rows=%zu cache.dat=%zu lines wall=%6.1f s peak_rss=%6.1f MiB %s\n",
                    s.name.c_str(), m.status, countOf(out, "\"lock\""), countOf(cache, "\r\n"), m.wallS,
                    m.peakRssKib / 1024.0, within ? "ok" : "OVER TARGET");
        std::fflush(stdout);
    }
    std::error_code ignored;
    std::filesystem::remove_all(lists, ignored);
    return allWithin ? 0 : 1;
}
