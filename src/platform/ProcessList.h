#pragma once

#include <string>

namespace pelorix
{

// The process list, read from /proc. Names are compared after ASCII upper-casing, and '/' and '\' both
// count as folder separators, so a Windows path ("D:\Games\VEKTA 4\Content\System\VEKTA4.EXE") has the
// file name "VEKTA4.EXE". Processes that end during the walk are skipped; what /proc shows of other
// processes is read only up to a path's length.

// True when a running process has the executable file name `name` (text without folder): the file-name
// part of its executable (/proc/PID/exe) or of its first argument (argv[0]), since a Windows game run
// under Wine shows its own name only in argv[0].
bool IsProcessRunning(const std::string &name);

// Ends (SIGKILL) every process whose executable (/proc/PID/exe, never argv[0], which any program may set)
// has the file name `name` or is the whole path `name`. Each process is signalled through a pidfd, so a
// process id that was reused after the match is never hit. The calling process is not spared: passing the
// program's own file name ends this process too, after every other match. Returns the result of the last
// termination, false when nothing matched.
bool KillProcessesByName(const std::string &name);

} // namespace pelorix
