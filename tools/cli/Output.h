#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pelorix::cli
{

// A Windows-1252 text as the terminal gets it (UTF-8), with every control character a blank, so that what a server
// sent can neither break the output's form nor steer the terminal. keepLineBreaks: line breaks (any kind) become
// the terminal's LF instead.
std::string TerminalText(std::string_view cp1252, bool keepLineBreaks = false);

// The command line of a command of the form "NAME ADDRESS [--json]": the address (Windows-1252), or nothing after
// the usage was printed on standard error.
struct AddressArguments {
    std::string address;
    bool json = false;
};
std::optional<AddressArguments> ParseAddressArguments(const char *name, const char *usage,
                                                      const std::vector<std::string> &args);

} // namespace pelorix::cli
