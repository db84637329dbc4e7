#include "platform/widgets/CursorFile.h"

#include "platform/UniqueFd.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QPixmap>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pelorix {

namespace {

quint16 littleEndian16(const QByteArray &data, int at)
{
    return static_cast<quint16>(static_cast<quint8>(data[at]) | (static_cast<quint8>(data[at + 1]) << 8));
}

// A cursor file is small; anything far larger is not one.
constexpr qsizetype kMaxCursorBytes = 4 * 1024 * 1024;

// The bytes of a regular file of at most kMaxCursorBytes. Not blocking, so a FIFO in its place is refused
// instead of waiting for a writer; read only to one byte past the limit, so a device that never ends is refused too.
std::optional<QByteArray> readSmallFile(const QString &path)
{
    const UniqueFd fd(::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    struct stat st {};
    if (!fd || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    QByteArray data;
    data.resize(kMaxCursorBytes + 1);
    qsizetype filled = 0;
    while (filled < data.size()) {
        const ssize_t n = ::read(fd.get(), data.data() + filled, static_cast<size_t>(data.size() - filled));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return std::nullopt;
        if (n == 0)
            break;
        filled += n;
    }
    if (filled > kMaxCursorBytes)
        return std::nullopt;
    data.resize(filled);
    return data;
}

} // namespace

std::optional<QCursor> loadCursorFile(const QString &path)
{
    std::optional<QByteArray> bytes = readSmallFile(path);
    if (!bytes)
        return std::nullopt;
    QByteArray data = std::move(*bytes);
    // The header (reserved 0, type 2 for cursors, image count) and the first 16-byte directory entry.
    constexpr int kHeader = 6;
    constexpr int kEntry = 16;
    if (data.size() < kHeader + kEntry || littleEndian16(data, 0) != 0 || littleEndian16(data, 2) != 2
        || littleEndian16(data, 4) == 0)
        return std::nullopt;
    const int hotX = littleEndian16(data, kHeader + 4);
    const int hotY = littleEndian16(data, kHeader + 6);

    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "cur");
    QImage image;
    if (!reader.read(&image) || image.isNull())
        return std::nullopt;
    if (hotX >= image.width() || hotY >= image.height())
        return QCursor(QPixmap::fromImage(image));
    return QCursor(QPixmap::fromImage(image), hotX, hotY);
}

} // namespace pelorix
