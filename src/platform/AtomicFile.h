#pragma once

#include <string>
#include <string_view>

namespace pelorix {

// Replaces path with contents so that a crash at any instant leaves either the old file or the
// new one: a temporary file in the same folder, fsync, rename, fsync of the folder.
// Returns false (and leaves the old file) when any step fails.
bool writeFileAtomically(const std::string &path, std::string_view contents);

// Reads a whole regular file. Returns false when it is missing, not a regular file or unreadable.
bool readWholeFile(const std::string &path, std::string &contents);

} // namespace pelorix
