#pragma once

#include <QFont>

namespace pelorix
{

// The program's two type faces, shared by every window and the server table.
enum class FontRole {
    Sans, // for Arial and MS Sans Serif: Liberation Sans, else DejaVu Sans
    Mono, // for Lucida Console: Liberation Mono, else DejaVu Sans Mono
};
QFont pelorixFont(FontRole role, int pixelSize, bool bold = false);

} // namespace pelorix
