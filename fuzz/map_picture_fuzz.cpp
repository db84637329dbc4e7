// A map picture file from the maps folder, decoded with libjpeg.

#include "FuzzSupport.h"

#include "view/MapPicture.h"

using namespace pelorix;

namespace
{

// Small enough that the size refusal is reached often, large enough for real pictures of the seeds.
constexpr std::size_t kSmallLimit = 64 * 64;

void checkDecoded(const RgbImage &image, std::size_t maxPixels)
{
    fuzz::require(image.width > 0 && image.height > 0, "a decoded picture without pixels");
    fuzz::require(image.width <= kMaxJpegSide && image.height <= kMaxJpegSide, "a side over the limit");
    const auto pixels = static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height);
    fuzz::require(pixels <= maxPixels, "more pixels than allowed");
    fuzz::require(image.pixels.size() == pixels * 3, "the pixel buffer does not match the size");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    RgbImage small;
    std::string error;
    const bool smallDecoded = decodeJpegData(data, size, small, kSmallLimit, &error);
    if (smallDecoded)
        checkDecoded(small, kSmallLimit);
    else
        fuzz::require(!error.empty() && small.pixels.empty() && small.width == 0, "a refusal without a reason");

    RgbImage full;
    const bool fullDecoded = decodeJpegData(data, size, full);
    if (fullDecoded)
        checkDecoded(full, kMaxJpegPixels);
    if (smallDecoded) {
        fuzz::require(fullDecoded && full.width == small.width && full.height == small.height &&
                          full.pixels == small.pixels,
                      "the same picture decodes differently under a larger limit");
    }
    return 0;
}
