#pragma once

#include <cstdint>
#include <vector>

namespace pelorix
{

// A picture with transparency: rows of RGBA8888 pixels (not premultiplied), top row first, width * 4
// bytes per row, no padding.
struct RgbaImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;
};

// The sizes the program icon is made in: the window's icon set and the installed hicolor theme.
inline constexpr int kProgramIconSizes[] = {16, 24, 32, 48, 64, 128, 256};

// The program icon, a radar scope on transparency, size x size pixels (1 to 1024; other sizes give an
// empty picture). The window, the About box and the installed icon theme all show this one drawing.
RgbaImage drawProgramIcon(int size);

} // namespace pelorix
