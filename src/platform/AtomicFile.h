#pragma once

#include "platform/UniqueFd.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace pelorix
{

// Replaces path with contents so that a crash at any instant leaves either the old file or the
// new one: a temporary file in the same folder, fsync, rename, fsync of the folder.
// Returns false (and leaves the old file) when any step fails.
bool writeFileAtomically(const std::string &path, std::string_view contents);

// Reads a whole regular file. Returns false when it is missing, not a regular file, unreadable or longer than
// maxBytes; reading stops once the file has shown itself longer, so a file that never ends is refused too.
bool readWholeFile(const std::string &path, std::string &contents, std::size_t maxBytes = SIZE_MAX);

// Opens a regular file for reading. Invalid when it is missing or not a regular file; a FIFO in its place is
// refused without waiting for a writer.
UniqueFd openRegularFile(const std::string &path);
// Writes all of data to fd, again after an interruption or a short write. False on any other failure.
bool writeAll(int fd, std::string_view data);
// Reads fd to its end, handing each piece read to take; stops early when take returns false. False on a read
// error.
bool readPieces(int fd, const std::function<bool(std::string_view)> &take);
// Appends what fd gives to contents until its end, or until limit bytes were appended. False on a read error
// (what came before it stays appended).
bool readAll(int fd, std::string &contents, std::size_t limit = SIZE_MAX);
// The folder a path names a file in: "." for a bare name, "/" for a file at the root.
std::string folderOf(const std::string &path);

} // namespace pelorix
