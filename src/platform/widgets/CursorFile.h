#pragma once

#include <QCursor>
#include <QString>

#include <optional>

namespace pelorix
{

// Loads a Windows cursor file (.cur: the first image of the file, its hot spot from the file's
// directory entry), e.g. "cr.data" in the working folder. Missing, unreadable or malformed files
// give an empty optional; the caller decides what to do (the main window beeps once).
std::optional<QCursor> loadCursorFile(const QString &path);

} // namespace pelorix
