#include "view/widgets/MapPictureLoader.h"

#include "view/MapPicture.h"

#include <QImage>
#include <QLabel>
#include <QPixmap>

namespace pelorix
{

bool ShowMapPicture(QLabel *MAP_picture, const std::vector<std::string> &folders, const std::string &mapCell)
{
    if (!MAP_picture)
        return false;
    RgbImage decoded;
    if (!decodeJpegFile(findMapPicture(folders, mapCell), decoded))
        return false;
    const QImage image(decoded.pixels.data(), decoded.width, decoded.height, decoded.width * 3, QImage::Format_RGB888);
    const QSize box = MAP_picture->size();
    if (image.isNull() || box.isEmpty())
        return false;
    // scaled() makes a deep copy, so the decoded buffer may go when this function returns.
    MAP_picture->setAlignment(Qt::AlignCenter);
    MAP_picture->setPixmap(QPixmap::fromImage(image.scaled(box, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)));
    return true;
}

bool ShowMapPicture(QLabel *MAP_picture, const std::string &programFolder, const std::string &mapCell)
{
    return ShowMapPicture(MAP_picture, std::vector<std::string>{programFolder}, mapCell);
}

} // namespace pelorix
