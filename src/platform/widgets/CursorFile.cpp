#include "platform/widgets/CursorFile.h"

#include "platform/AtomicFile.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QPixmap>

#include <string>

namespace pelorix
{

namespace
{

quint16 littleEndian16(const QByteArray &data, int at)
{
    return static_cast<quint16>(static_cast<quint8>(data[at]) | (static_cast<quint8>(data[at + 1]) << 8));
}

// A cursor file is small; anything far larger is not one.
constexpr std::size_t kMaxCursorBytes = 4 * 1024 * 1024;

} // namespace

std::optional<QCursor> loadCursorFile(const QString &path)
{
    std::string bytes;
    if (!readWholeFile(QFile::encodeName(path).toStdString(), bytes, kMaxCursorBytes))
        return std::nullopt;
    QByteArray data = QByteArray::fromStdString(bytes);
    // The header (reserved 0, type 2 for cursors, image count) and the first 16-byte directory entry.
    constexpr int kHeader = 6;
    constexpr int kEntry = 16;
    if (data.size() < kHeader + kEntry || littleEndian16(data, 0) != 0 || littleEndian16(data, 2) != 2 ||
        littleEndian16(data, 4) == 0)
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
