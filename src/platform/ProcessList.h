#pragma once

#include <string>

namespace pelorix {

// The process list, read from /proc. For each process two names are looked at: the file-name part
// of its executable (/proc/PID/exe) and of its first argument (argv[0] in /proc/PID/cmdline), both
// '/' and '\' counting as folder separators, so a Windows game run under Wine
// ("D:\Games\VEKTA 4\Content\System\VEKTA4.EXE") is found by "VEKTA4.EXE". Letters are compared
// after ASCII upper-casing. Processes that end during the walk are skipped.

// True when a running process has the executable file name `name` (text without folder).
bool IsProcessRunning(const std::string &name);

// Ends (SIGKILL) every process whose executable file name, or whole stored executable name, equals
// `name` (a file name or a full path). The calling process is not spared: passing the program's own
// file name ends this process too. Returns the result of the last termination, false when nothing matched.
bool KillProcessesByName(const std::string &name);

} // namespace pelorix
