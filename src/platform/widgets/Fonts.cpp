#include "platform/widgets/Fonts.h"

#include <QStringList>

namespace pelorix
{

QFont pelorixFont(FontRole role, int pixelSize, bool bold)
{
    QFont font;
    if (role == FontRole::Mono) {
        font.setFamilies(
            {QStringLiteral("Liberation Mono"), QStringLiteral("Lucida Console"), QStringLiteral("DejaVu Sans Mono")});
        font.setStyleHint(QFont::Monospace);
    } else {
        font.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("Arial"), QStringLiteral("DejaVu Sans")});
        font.setStyleHint(QFont::SansSerif);
    }
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

} // namespace pelorix
