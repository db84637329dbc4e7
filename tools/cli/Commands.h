#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace pelorix::cli
{

// A subcommand of pelorix-cli: gets the arguments after its name, returns the exit status.
using Command = std::function<int(const std::vector<std::string> &args)>;

struct CommandInfo {
    Command run;
    // Shown by `pelorix-cli --help`, each line indented by two blanks: every form of the command, its
    // description and its options, descriptions starting at column 20 (the layout help2man reads).
    std::string usage;
};

std::map<std::string, CommandInfo> &commandRegistry();

// Each subcommand's file registers itself: static const bool registered = registerCommand(...);
bool registerCommand(const std::string &name, Command run, const std::string &usage);

} // namespace pelorix::cli
