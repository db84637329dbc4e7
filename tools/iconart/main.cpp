// pelorix-iconart: writes the program icon into an icon theme folder, for installing.
//
//     pelorix-iconart OUTPUT_FOLDER [NAME]
//
// Writes OUTPUT_FOLDER/<N>x<N>/apps/NAME.png (NAME defaults to pelorix) for every size the program
// draws its icon in (16 to 256), the same pictures the window shows.

#include "shell/ProgramIcon.h"

#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace
{

void appendBigEndian(std::string &out, std::uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out += static_cast<char>(value >> shift & 0xFF);
}

void appendChunk(std::string &out, const char type[4], const std::string &data)
{
    appendBigEndian(out, static_cast<std::uint32_t>(data.size()));
    const std::string typed = std::string(type, 4) + data;
    out += typed;
    const auto *bytes = reinterpret_cast<const Bytef *>(typed.data());
    appendBigEndian(out, static_cast<std::uint32_t>(crc32(0L, bytes, static_cast<uInt>(typed.size()))));
}

// An 8-bit RGBA PNG: every row with filter type 0, the whole picture in one compressed IDAT chunk.
bool encodePng(const pelorix::RgbaImage &image, std::string &png)
{
    const std::size_t stride = static_cast<std::size_t>(image.width) * 4;
    std::string raw;
    raw.reserve((stride + 1) * static_cast<std::size_t>(image.height));
    for (int row = 0; row < image.height; ++row) {
        raw += '\0';
        raw.append(reinterpret_cast<const char *>(image.pixels.data()) + stride * static_cast<std::size_t>(row),
                   stride);
    }
    uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
    std::vector<Bytef> packed(packedSize);
    if (compress2(packed.data(), &packedSize, reinterpret_cast<const Bytef *>(raw.data()),
                  static_cast<uLong>(raw.size()), Z_BEST_COMPRESSION) != Z_OK)
        return false;

    std::string header;
    appendBigEndian(header, static_cast<std::uint32_t>(image.width));
    appendBigEndian(header, static_cast<std::uint32_t>(image.height));
    header += '\x08';               // bits per channel
    header += '\x06';               // colour type: RGB with alpha
    header += std::string(3, '\0'); // deflate, adaptive filtering, no interlace

    png = "\x89PNG\r\n\x1a\n";
    appendChunk(png, "IHDR", header);
    appendChunk(png, "IDAT", std::string(reinterpret_cast<const char *>(packed.data()), packedSize));
    appendChunk(png, "IEND", {});
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: %s OUTPUT_FOLDER [NAME]\n", argv[0]);
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    const std::string name = argc == 3 ? argv[2] : "pelorix";
    for (const int size : pelorix::kProgramIconSizes) {
        const std::filesystem::path apps = folder / (std::to_string(size) + "x" + std::to_string(size)) / "apps";
        std::error_code ec;
        std::filesystem::create_directories(apps, ec);
        std::string png;
        const std::filesystem::path file = apps / (name + ".png");
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        if (!encodePng(pelorix::drawProgramIcon(size), png) ||
            !out.write(png.data(), static_cast<std::streamsize>(png.size())) || !out.flush()) {
            std::fprintf(stderr, "%s: cannot write %s\n", argv[0], file.c_str());
            return 1;
        }
    }
    return 0;
}
