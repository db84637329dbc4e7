#include "view/MapPicture.h"

#include "core/Text.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

// libjpeg's header needs FILE and size_t declared first.
#include <jpeglib.h>

namespace pelorix
{

namespace
{

// libjpeg reports fatal errors through error_exit, which must not return: it jumps back to the
// setjmp in the decoding function. Only plain C data lives between the setjmp and the longjmp.
struct JumpingErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void jumpOnError(j_common_ptr info)
{
    auto *manager = reinterpret_cast<JumpingErrorManager *>(info->err);
    (*info->err->format_message)(info, manager->message);
    std::longjmp(manager->jump, 1);
}

// Warnings (e.g. premature end of data) count as errors: a truncated picture is refused, not padded.
void jumpOnWarning(j_common_ptr info, int level)
{
    if (level < 0)
        jumpOnError(info);
}

enum class DecodeResult { Ok, Failed, TooLarge };

// Plain C-style core of the decoder: everything it allocates is either owned by libjpeg (freed by
// jpeg_destroy_decompress) or by the caller (rows, sized before the decode starts).
DecodeResult decodeCore(const unsigned char *data, unsigned long size, std::size_t maxPixels, int *width, int *height,
                        std::vector<std::uint8_t> *pixels, char *message)
{
    jpeg_decompress_struct info;
    JumpingErrorManager errors;
    std::memset(&info, 0, sizeof info);
    info.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = jumpOnError;
    errors.base.emit_message = jumpOnWarning;
    errors.message[0] = '\0';
    // volatile: read after a longjmp.
    volatile DecodeResult result = DecodeResult::Failed;

    if (setjmp(errors.jump)) {
        std::strncpy(message, errors.message, JMSG_LENGTH_MAX);
        jpeg_destroy_decompress(&info);
        return result;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, data, size);
    jpeg_read_header(&info, TRUE);
    const std::size_t declared = static_cast<std::size_t>(info.image_width) * info.image_height;
    if (info.image_width == 0 || info.image_height == 0 || info.image_width > kMaxJpegSide ||
        info.image_height > kMaxJpegSide || declared > maxPixels) {
        std::snprintf(message, JMSG_LENGTH_MAX, "picture too large: %u x %u", info.image_width, info.image_height);
        jpeg_destroy_decompress(&info);
        return DecodeResult::TooLarge;
    }
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    if (info.output_components != 3) {
        std::snprintf(message, JMSG_LENGTH_MAX, "unexpected component count %d", info.output_components);
        jpeg_destroy_decompress(&info);
        return DecodeResult::Failed;
    }
    const std::size_t stride = static_cast<std::size_t>(info.output_width) * 3;
    // The vector is the caller's: resizing it here does not leave a destructor between setjmp and longjmp.
    pixels->resize(stride * info.output_height);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = pixels->data() + stride * info.output_scanline;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    *width = static_cast<int>(info.output_width);
    *height = static_cast<int>(info.output_height);
    jpeg_destroy_decompress(&info);
    result = DecodeResult::Ok;
    return result;
}

struct CompressErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

void jumpOnCompressError(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<CompressErrorManager *>(info->err)->jump, 1);
}

bool encodeCore(std::FILE *file, const RgbImage &image, int quality)
{
    jpeg_compress_struct info;
    CompressErrorManager errors;
    std::memset(&info, 0, sizeof info);
    info.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = jumpOnCompressError;
    if (setjmp(errors.jump)) {
        jpeg_destroy_compress(&info);
        return false;
    }
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, file);
    info.image_width = static_cast<JDIMENSION>(image.width);
    info.image_height = static_cast<JDIMENSION>(image.height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    jpeg_start_compress(&info, TRUE);
    const std::size_t stride = static_cast<std::size_t>(image.width) * 3;
    while (info.next_scanline < info.image_height) {
        auto *row = const_cast<JSAMPLE *>(image.pixels.data() + stride * info.next_scanline);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return true;
}

} // namespace

bool decodeJpegData(const std::uint8_t *data, std::size_t size, RgbImage &out, std::size_t maxPixels,
                    std::string *error)
{
    if (!data || size < 4 || data[0] != 0xFF || data[1] != 0xD8) {
        if (error)
            *error = "not a JPEG file";
        return false;
    }
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;
    char message[JMSG_LENGTH_MAX] = {};
    const DecodeResult result =
        decodeCore(data, static_cast<unsigned long>(size), maxPixels, &width, &height, &pixels, message);
    if (result != DecodeResult::Ok) {
        if (error)
            *error = message[0] ? message : "cannot decode the picture";
        return false;
    }
    out.width = width;
    out.height = height;
    out.pixels = std::move(pixels);
    return true;
}

bool decodeJpegFile(const std::string &path, RgbImage &out, std::size_t maxPixels, std::string *error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (error)
            *error = "cannot open " + path;
        return false;
    }
    // Even a large map picture is a few megabytes; a file far past that is not read into memory.
    constexpr std::streamoff kMaxFileSize = 64 * 1024 * 1024;
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    in.seekg(0, std::ios::beg);
    if (size < 0 || size > kMaxFileSize) {
        if (error)
            *error = "not a readable picture file: " + path;
        return false;
    }
    const std::vector<std::uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return decodeJpegData(data.data(), data.size(), out, maxPixels, error);
}

bool encodeJpegFile(const std::string &path, const RgbImage &image, int quality)
{
    if (image.width <= 0 || image.height <= 0 ||
        image.pixels.size() != static_cast<std::size_t>(image.width) * image.height * 3)
        return false;
    std::FILE *file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    const bool encoded = encodeCore(file, image, quality);
    const bool closed = std::fclose(file) == 0;
    if (!encoded || !closed) {
        std::remove(path.c_str());
        return false;
    }
    return true;
}

namespace
{

std::string withSlash(const std::string &folder)
{
    return folder.empty() || folder.back() == '/' ? folder : folder + '/';
}

// folder + "maps/" + the picture of mapCell when the folder has one, else the empty text.
std::string ownPicture(const std::string &folder, const std::string &fileName)
{
    const std::string candidate = folder + "maps/" + fileName;
    std::error_code ec;
    if (std::filesystem::is_regular_file(candidate, ec))
        return candidate;
    // Map names come from the servers in any letter case; the pictures were made for a file system
    // that ignores case, so a picture whose name differs only in case is the one.
    for (std::filesystem::directory_iterator it(folder + "maps", ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (equalsIgnoringAsciiCase(name, fileName) && it->is_regular_file(ec))
            return it->path().string();
    }
    return {};
}

} // namespace

std::string findMapPicture(const std::vector<std::string> &folders, const std::string &mapCell)
{
    std::vector<std::string> searched;
    for (const std::string &folder : folders) {
        if (!folder.empty())
            searched.push_back(withSlash(folder));
    }
    if (searched.empty())
        searched.emplace_back();
    const bool isFileName = mapCell.find_first_of(std::string_view("/\\\0", 3)) == std::string::npos &&
                            mapCell.find("..") == std::string::npos;
    if (isFileName) {
        const std::string fileName = cp1252ToUtf8(mapCell) + ".jpg";
        for (const std::string &folder : searched) {
            if (std::string own = ownPicture(folder, fileName); !own.empty())
                return own;
        }
    }
    for (const std::string &folder : searched) {
        std::error_code ec;
        if (std::filesystem::is_regular_file(folder + "maps/none.jpg", ec))
            return folder + "maps/none.jpg";
    }
    return searched.front() + "maps/none.jpg";
}

std::string mapPicturePath(const std::string &folder, const std::string &mapCell)
{
    return findMapPicture({folder}, mapCell);
}

} // namespace pelorix
