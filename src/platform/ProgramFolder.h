#pragma once

#include <string>

namespace pelorix {

// The folder that holds cache.dat, white_list.txt, install.exe and maps/: the folder named by
// PELORIX_HOME when it is set, otherwise the folder of the running executable (symlinks resolved).
// Always ends with '/'.
std::string ProgramFolder();

// The running executable's file name without its folder.
std::string ExecutableFileName();
// The running executable's canonical path.
std::string ExecutablePath();

} // namespace pelorix
