// pelorix-cli: the command-line browser. Each subcommand lives in its own file and registers itself.
#include "Commands.h"

#include <QCoreApplication>

#include <cstdio>

namespace pelorix::cli {

std::map<std::string, CommandInfo> &commandRegistry()
{
    static std::map<std::string, CommandInfo> registry;
    return registry;
}

bool registerCommand(const std::string &name, Command run, const std::string &usage)
{
    commandRegistry()[name] = CommandInfo{std::move(run), usage};
    return true;
}

} // namespace pelorix::cli

namespace {

void printUsage(std::FILE *out)
{
    std::fprintf(out, "usage: pelorix-cli COMMAND [ARGS...]\n\ncommands:\n");
    for (const auto &[name, info] : pelorix::cli::commandRegistry())
        std::fprintf(out, "  %s\n", info.usage.c_str());
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty() || args[0] == "help" || args[0] == "--help" || args[0] == "-h") {
        printUsage(args.empty() ? stderr : stdout);
        return args.empty() ? 64 : 0;
    }
    auto &registry = pelorix::cli::commandRegistry();
    const auto it = registry.find(args[0]);
    if (it == registry.end()) {
        std::fprintf(stderr, "pelorix-cli: unknown command '%s'\n", args[0].c_str());
        printUsage(stderr);
        return 64;
    }
    args.erase(args.begin());
    return it->second.run(args);
}
