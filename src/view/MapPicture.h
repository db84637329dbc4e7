#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace pelorix
{

// A decoded picture: rows of RGB888 pixels, top row first, width * 3 bytes per row, no padding.
struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;
};

// Largest picture decodeJpegFile accepts by default: 16 Mpixels, and at most 8192 on either side.
inline constexpr std::size_t kMaxJpegPixels = 16u * 1024u * 1024u;
inline constexpr int kMaxJpegSide = 8192;

// Decodes a JPEG file with libjpeg. Returns false (out untouched, error set when given) for a missing
// file, a file that is not a JPEG, a truncated or corrupt one, and a picture whose declared size is
// over maxPixels or kMaxJpegSide; the size is checked before any pixel memory is taken.
bool decodeJpegFile(const std::string &path, RgbImage &out, std::size_t maxPixels = kMaxJpegPixels,
                    std::string *error = nullptr);
bool decodeJpegData(const std::uint8_t *data, std::size_t size, RgbImage &out, std::size_t maxPixels = kMaxJpegPixels,
                    std::string *error = nullptr);

// Encodes a picture as a baseline JPEG file (quality 1..100). Returns false when it cannot be written.
bool encodeJpegFile(const std::string &path, const RgbImage &image, int quality = 90);

// The picture file of a map: programFolder + "maps/" + mapCell + ".jpg" when that file exists (a file
// whose name differs only in letter case will do), otherwise programFolder + "maps/none.jpg"; a '/' is
// put after programFolder when it lacks one. A map cell holding '/', '\', "..", or a NUL is not taken
// as a file name and gives none.jpg. mapCell is Windows-1252 text (as in the table).
std::string mapPicturePath(const std::string &programFolder, const std::string &mapCell);

// The same over several folders, searched in order (the program folder, then an installed copy's
// share/pelorix/; empty entries are skipped): the map's own picture from the first folder that has one,
// else the first none.jpg there is, else none.jpg of the first folder (which does not exist).
std::string findMapPicture(const std::vector<std::string> &folders, const std::string &mapCell);

} // namespace pelorix
