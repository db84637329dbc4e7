#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace pelorix::cli {

// A subcommand of pelorix-cli: gets the arguments after its name, returns the exit status.
using Command = std::function<int(const std::vector<std::string> &args)>;

struct CommandInfo
{
    Command run;
    std::string usage; // one or more lines, shown by `pelorix-cli help`
};

std::map<std::string, CommandInfo> &commandRegistry();

// Each subcommand's file registers itself: static const bool registered = registerCommand(...);
bool registerCommand(const std::string &name, Command run, const std::string &usage);

} // namespace pelorix::cli
