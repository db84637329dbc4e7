// Throughput of pelorix-master's list request: the service with 10,000 listed servers on a free loopback
// port, ApacheBench (HTTP/1.0, like the browser) fetching the signed list.
// Targets: at least 7,000 requests/s at 50 clients, 99% of the requests answered within 50 ms.
//   master_list_bench [requests=20000] [concurrency=50] [servers=10000] [threads=0: the service's default]
#include "discovery/RequestSignature.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char **environ;

namespace
{

std::string findProgram(const std::string &name)
{
    const char *path = std::getenv("PATH");
    std::stringstream folders(path ? path : "/usr/bin:/bin");
    std::string folder;
    while (std::getline(folders, folder, ':')) {
        const std::string candidate = folder + "/" + name;
        if (::access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return {};
}

int freePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

bool accepting(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
    ::close(fd);
    return ok;
}

// Starts a program with standard output and standard error sent to files; its process id, or -1.
pid_t start(const std::vector<std::string> &args, const std::string &outPath, const std::string &errPath)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<std::string> store = args;
    std::vector<char *> argv;
    for (auto &arg : store)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int failed = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return failed ? -1 : pid;
}

int finish(pid_t pid)
{
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string readText(const std::string &path)
{
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

std::string lineStarting(const std::string &text, const std::string &prefix)
{
    const auto at = text.find(prefix);
    if (at == std::string::npos)
        return "(missing)";
    const auto end = text.find('\n', at);
    return text.substr(at, end - at);
}

// The time of one line of ApacheBench's table "Percentage of the requests served within a certain time".
std::string percentile(const std::string &text, const std::string &label)
{
    const auto at = text.find(" " + label + " ");
    if (at == std::string::npos)
        return "?";
    std::istringstream line(text.substr(at + label.size() + 1, 32));
    std::string value;
    line >> value;
    return value;
}

int argument(int argc, char **argv, int index, int fallback)
{
    return argc > index ? std::atoi(argv[index]) : fallback;
}

} // namespace

int main(int argc, char **argv)
{
    const std::string master = PELORIX_MASTER_BIN;
    const std::string ab = findProgram("ab");
    if (master.empty() || ab.empty()) {
        std::fprintf(stderr, "needs pelorix-master and ApacheBench (ab)\n");
        return 1;
    }
    const int requests = argument(argc, argv, 1, 20000);
    const int concurrency = argument(argc, argv, 2, 50);
    const int servers = argument(argc, argv, 3, 10000);
    const int threads = argument(argc, argv, 4, 0);

    std::string folder = (std::filesystem::temp_directory_path() / "pelorix-master-bench-XXXXXX").string();
    if (!::mkdtemp(folder.data()))
        return 1;
    folder += '/';
    const std::string db = folder + "master.db";
    {
        std::ofstream list(folder + "servers.txt");
        for (int i = 0; i < servers; ++i)
            list << "10." << (i >> 16 & 0xFF) << '.' << (i >> 8 & 0xFF) << '.' << (i & 0xFF) << ":10481\r\n";
    }
    const pid_t import =
        start({master, "import", folder + "servers.txt", "--db", db}, folder + "import.out", folder + "import.err");
    if (finish(import) != 0) {
        std::fprintf(stderr, "import failed: %s\n", readText(folder + "import.err").c_str());
        return 1;
    }

    const int port = freePort();
    // ApacheBench's clients all come from one address, where real players come from many: lift the
    // per-address connection share above the concurrency so that none is turned away.
    std::vector<std::string> serve{master,
                                   "serve",
                                   "--db",
                                   db,
                                   "--port",
                                   std::to_string(port),
                                   "--max-client-connections",
                                   std::to_string(concurrency + 16)};
    if (threads > 0)
        serve.insert(serve.end(), {"--threads", std::to_string(threads)});
    const pid_t service = start(serve, folder + "serve.out", folder + "serve.log");
    for (int i = 0; i < 500 && service > 0 && !accepting(port); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (service <= 0 || !accepting(port)) {
        std::fprintf(stderr, "the service did not start: %s\n", readText(folder + "serve.log").c_str());
        return 1;
    }

    const int number = 4242;
    const std::string address =
        "http://127.0.0.1:" + std::to_string(port) + "/vekta4list.php?s=" + std::to_string(number);
    std::printf("pelorix-master list: %d servers, ab -n %d -c %d, %s service threads, access log on\n", servers,
                requests, concurrency, threads > 0 ? std::to_string(threads).c_str() : "default");
    int status = 0;
    for (const std::string keepAlive : {"", "-k"}) {
        std::vector<std::string> args{ab};
        if (!keepAlive.empty())
            args.push_back(keepAlive);
        args.insert(args.end(), {"-q", "-n", std::to_string(requests), "-c", std::to_string(concurrency), "-H",
                                 "User-Agent: " + pelorix::SignatureFor(number), address});
        const pid_t run = start(args, folder + "ab.out", folder + "ab.err");
        status |= finish(run);
        const std::string out = readText(folder + "ab.out");
        std::printf("%s\n  %s\n  %s\n  %s\n  %s\n  p50 %s ms, p99 %s ms, max %s ms\n",
                    keepAlive.empty() ? "HTTP/1.0, new connection per request"
                                      : "HTTP/1.0 with -k (keep-alive asked, refused)",
                    lineStarting(out, "Document Length:").c_str(), lineStarting(out, "Failed requests:").c_str(),
                    lineStarting(out, "Requests per second:").c_str(), lineStarting(out, "Time per request:").c_str(),
                    percentile(out, "50%").c_str(), percentile(out, "99%").c_str(), percentile(out, "100%").c_str());
    }
    ::kill(service, SIGTERM);
    finish(service);
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return status;
}
