#include "shell/ProgramIcon.h"

#include <gtest/gtest.h>

#include <array>

namespace pelorix
{
namespace
{

std::array<int, 4> at(const RgbaImage &image, int x, int y)
{
    const std::uint8_t *p = &image.pixels[(static_cast<std::size_t>(y) * image.width + x) * 4];
    return {p[0], p[1], p[2], p[3]};
}

int brightness(const std::array<int, 4> &pixel)
{
    return pixel[0] + pixel[1] + pixel[2];
}

TEST(ProgramIcon, ARoundScopeOnTransparencyAtEverySize)
{
    for (const int size : kProgramIconSizes) {
        SCOPED_TRACE(size);
        const RgbaImage icon = drawProgramIcon(size);
        ASSERT_EQ(icon.width, size);
        ASSERT_EQ(icon.height, size);
        ASSERT_EQ(icon.pixels.size(), static_cast<std::size_t>(size) * size * 4);
        // Round: every corner is clear, the middle of every edge is painted (the rim), the centre is solid.
        for (const auto &[x, y] : {std::pair{0, 0}, {size - 1, 0}, {0, size - 1}, {size - 1, size - 1}})
            EXPECT_EQ(at(icon, x, y)[3], 0) << x << "," << y;
        EXPECT_GT(at(icon, size / 2, 1)[3], 128);
        EXPECT_GT(at(icon, 1, size / 2)[3], 128);
        EXPECT_EQ(at(icon, size / 2, size / 2)[3], 255);
        // The beam sweeps to the upper right: that half of the diagonal is lit, the other half is dark glass.
        const int quarter = size / 4;
        EXPECT_GT(brightness(at(icon, size / 2 + quarter, size / 2 - quarter)),
                  brightness(at(icon, size / 2 - quarter, size / 2 + quarter)) + 150);
    }
}

TEST(ProgramIcon, SizesOutsideTheRangeGiveNothing)
{
    for (const int size : {0, -16, 1025}) {
        const RgbaImage icon = drawProgramIcon(size);
        EXPECT_EQ(icon.width, 0) << size;
        EXPECT_TRUE(icon.pixels.empty()) << size;
    }
    EXPECT_EQ(drawProgramIcon(1).pixels.size(), 4u);
}

} // namespace
} // namespace pelorix
