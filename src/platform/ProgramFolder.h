#pragma once

#include <string>

namespace pelorix
{

// Where a copy of the program keeps its files. The program folder holds cache.dat, white_list.txt,
// install.exe and maps/, and the rights check asks that it be writable, so it is chosen by how the
// copy was put on the machine:
// - PELORIX_HOME, when it is set;
// - an installed copy (its executable lies in a folder named bin beside share/pelorix, whatever the
//   prefix, writable or not): the user's data folder, ${XDG_DATA_HOME:-$HOME/.local/share}/pelorix;
// - otherwise (a build tree, an unpacked portable copy) the executable's own folder.
struct ProgramLocation {
    enum class Kind { Home, Installed, Portable };
    Kind kind = Kind::Portable;
    // The program folder; ends with '/'.
    std::string folder;
    // An installed copy's <prefix>/share/pelorix/ (map pictures, demo world), also under PELORIX_HOME;
    // empty for any other copy.
    std::string sharedFolder;
};

// What the choice depends on besides the executable's path; empty texts stand for unset variables.
struct ProgramEnvironment {
    std::string pelorixHome;
    std::string xdgDataHome;
    // $HOME, or the home folder of the user's account when HOME is unset.
    std::string home;
};

// The choice above for an executable at executablePath (symlinks resolved). An XDG_DATA_HOME that is not
// an absolute path is ignored, as the base-directory convention asks; an installed copy whose user has no
// home folder at all keeps its files beside the executable.
ProgramLocation locateProgram(const std::string &executablePath, const ProgramEnvironment &environment);

// The process's own environment.
ProgramEnvironment currentProgramEnvironment();

// locateProgram for the running executable. For an installed copy it creates the user's data folder
// when it is missing (the first start); a failure there is left to the rights check.
ProgramLocation currentProgramLocation();

// currentProgramLocation().folder.
std::string ProgramFolder();

// The running executable's file name without its folder.
std::string ExecutableFileName();
// The running executable's canonical path.
std::string ExecutablePath();

} // namespace pelorix
