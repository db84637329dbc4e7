#include "shell/widgets/Artwork.h"

#include "platform/widgets/Fonts.h"
#include "shell/ProgramIcon.h"

#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

#include <cmath>

namespace pelorix
{

namespace
{

const QColor kWhite(255, 255, 255);
const QColor kBlack(0, 0, 0);
const QColor kYellow(255, 204, 0);
const QColor kRule(84, 84, 84);
const QColor kHeading(34, 34, 34);

// The server table's columns (left, width) and their titles; the first one shows a padlock.
struct Column {
    int left;
    int width;
    const char *title;
};
constexpr Column kColumns[] = {
    {11, 32, ""},           {46, 209, "SERVER NAME"}, {256, 81, "PLAYERS"}, {338, 53, "PING"}, {392, 152, "GAME TYPE"},
    {545, 230, "MAP NAME"}, {777, 137, "IP ADDRESS"}, {915, 64, "MOD"},     {981, 67, "VER"},  {1050, 64, "JOIN"},
};
constexpr int kHeadingTop = 111;
constexpr int kHeadingBottom = 134;
constexpr int kTableBottom = 136 + 518;

QImage transparentImage(QSize size)
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

void drawPadlock(QPainter &painter, const QRectF &box, const QColor &colour)
{
    const qreal w = std::min(box.width(), box.height()) * 0.62;
    const QRectF body(box.center().x() - w / 2, box.center().y() - w * 0.1, w, w * 0.62);
    QPen shackle(colour, std::max<qreal>(1.5, w * 0.14));
    painter.setPen(shackle);
    painter.setBrush(Qt::NoBrush);
    const QRectF arc(body.left() + w * 0.18, body.top() - w * 0.42, w * 0.64, w * 0.8);
    painter.drawArc(arc, 0, 180 * 16);
    painter.drawLine(QPointF(arc.left(), arc.center().y()), QPointF(arc.left(), body.top()));
    painter.drawLine(QPointF(arc.right(), arc.center().y()), QPointF(arc.right(), body.top()));
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    painter.drawRoundedRect(body, 1.5, 1.5);
    painter.setBrush(kHeading);
    painter.drawEllipse(QPointF(body.center().x(), body.center().y() - 1), w * 0.09, w * 0.09);
}

void drawTriangle(QPainter &painter, const QRectF &box, bool pointsRight, const QColor &colour)
{
    QPolygonF shape;
    if (pointsRight)
        shape << box.topLeft() << QPointF(box.right(), box.center().y()) << box.bottomLeft();
    else
        shape << box.topLeft() << box.topRight() << QPointF(box.center().x(), box.bottom());
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    painter.drawPolygon(shape);
}

void drawCross(QPainter &painter, const QRectF &box, qreal thickness, const QColor &colour)
{
    painter.setPen(QPen(colour, thickness, Qt::SolidLine, Qt::SquareCap));
    painter.drawLine(box.topLeft(), box.bottomRight());
    painter.drawLine(box.topRight(), box.bottomLeft());
}

void drawCheckMark(QPainter &painter, const QRectF &box, qreal thickness, const QColor &colour)
{
    painter.setPen(QPen(colour, thickness, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    QPolygonF tick;
    tick << QPointF(box.left(), box.top() + box.height() * 0.55)
         << QPointF(box.left() + box.width() * 0.38, box.bottom()) << QPointF(box.right(), box.top());
    painter.drawPolyline(tick);
}

// An open-ended spanner lying diagonally.
void drawWrench(QPainter &painter, const QRectF &box, const QColor &colour, const QColor &background)
{
    painter.save();
    painter.translate(box.center());
    painter.rotate(-45);
    const qreal s = std::min(box.width(), box.height());
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    painter.drawRoundedRect(QRectF(-s * 0.1, -s * 0.08, s * 0.62, s * 0.16), s * 0.06, s * 0.06);
    painter.drawEllipse(QPointF(-s * 0.22, 0), s * 0.24, s * 0.24);
    painter.setBrush(background);
    painter.drawRect(QRectF(-s * 0.5, -s * 0.08, s * 0.26, s * 0.16));
    painter.restore();
}

enum class Glyph { None, TriangleDown, TriangleRight, Wrench, Cross, CheckMark };

struct ButtonDesign {
    QSize size;
    const char *text;
    Glyph glyph;
};

ButtonDesign designOf(ButtonKind kind)
{
    switch (kind) {
    case ButtonKind::AddServer:
        return {{177, 25}, "ADD SERVER", Glyph::TriangleDown};
    case ButtonKind::Options:
        return {{177, 25}, "OPTIONS", Glyph::Wrench};
    case ButtonKind::Quit:
        return {{177, 25}, "QUIT", Glyph::Cross};
    case ButtonKind::Refresh:
        return {{131, 25}, "REFRESH", Glyph::None};
    case ButtonKind::DirectIp:
        return {{131, 25}, "DIRECT IP", Glyph::None};
    case ButtonKind::Filters:
        return {{131, 25}, "FILTERS", Glyph::None};
    case ButtonKind::Join:
        return {{200, 29}, "JOIN", Glyph::TriangleRight};
    case ButtonKind::Accept:
        return {{54, 49}, "", Glyph::CheckMark};
    case ButtonKind::Cancel:
        return {{54, 49}, "", Glyph::Cross};
    case ButtonKind::AcceptSmall:
        return {{30, 27}, "", Glyph::CheckMark};
    case ButtonKind::CancelSmall:
        return {{30, 27}, "", Glyph::Cross};
    }
    return {{1, 1}, "", Glyph::None};
}

// Normal: white lines and letters on black. Hover: black lines and letters on yellow.
QPixmap drawButton(const ButtonDesign &design, bool hover)
{
    const QColor ink = hover ? kBlack : kWhite;
    const QColor paper = hover ? kYellow : kBlack;
    QImage image(design.size, QImage::Format_RGB32);
    image.fill(paper);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF frame = QRectF(image.rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    painter.setPen(QPen(hover ? kBlack : QColor(200, 200, 200), 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(frame);

    const int h = design.size.height();
    const bool textOnly = design.text[0] != '\0';
    if (!textOnly) {
        // The big square buttons: the glyph alone, centred.
        const qreal margin = h * 0.26;
        const QRectF box(design.size.width() / 2.0 - (h / 2.0 - margin), margin, h - 2 * margin, h - 2 * margin);
        if (design.glyph == Glyph::CheckMark)
            drawCheckMark(painter, box, std::max<qreal>(2.5, h * 0.11), ink);
        else
            drawCross(painter, box, std::max<qreal>(2.5, h * 0.11), ink);
        return QPixmap::fromImage(image);
    }

    const qreal glyphSize = h * 0.42;
    const QRectF glyphBox(9, (h - glyphSize) / 2, glyphSize, glyphSize);
    switch (design.glyph) {
    case Glyph::TriangleDown:
        drawTriangle(painter, glyphBox.adjusted(0, 1.5, 0, -1.5), false, ink);
        break;
    case Glyph::TriangleRight:
        drawTriangle(painter, glyphBox, true, ink);
        break;
    case Glyph::Wrench:
        drawWrench(painter, glyphBox.adjusted(-1, -1, 1, 1), ink, paper);
        break;
    case Glyph::Cross:
        drawCross(painter, glyphBox.adjusted(1, 1, -1, -1), 2.0, ink);
        break;
    case Glyph::CheckMark:
        drawCheckMark(painter, glyphBox, 2.0, ink);
        break;
    case Glyph::None:
        break;
    }
    painter.setFont(pelorixFont(FontRole::Sans, h >= 29 ? 15 : 13, true));
    painter.setPen(ink);
    const qreal textLeft = design.glyph == Glyph::None ? 0 : glyphBox.right() + 4;
    painter.drawText(QRectF(textLeft, 0, design.size.width() - textLeft - (design.glyph == Glyph::None ? 0 : 8), h),
                     Qt::AlignCenter, QString::fromLatin1(design.text));
    return QPixmap::fromImage(image);
}

} // namespace

QPixmap backgroundPixmap()
{
    QImage image(1123, 692, QImage::Format_RGB32);
    image.fill(kBlack);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);

    // The title, below the top buttons and left of the map picture.
    painter.setPen(kWhite);
    painter.setFont(pelorixFont(FontRole::Sans, 44, true));
    painter.drawText(QRect(12, 38, 560, 52), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("JOIN GAME"));
    painter.setPen(QPen(QColor(70, 70, 70), 1));
    painter.drawLine(QPointF(11, 106.5), QPointF(590, 106.5));

    // The heading strip with the column titles.
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.fillRect(QRect(11, kHeadingTop, 1114 - 11, kHeadingBottom - kHeadingTop + 1), kHeading);
    painter.setPen(QColor(110, 110, 110));
    painter.drawLine(11, kHeadingTop, 1113, kHeadingTop);
    painter.drawLine(11, kHeadingBottom, 1113, kHeadingBottom);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setFont(pelorixFont(FontRole::Sans, 11, true));
    for (const auto &column : kColumns) {
        const QRect cell(column.left, kHeadingTop + 1, column.width, kHeadingBottom - kHeadingTop - 1);
        painter.setPen(kWhite);
        if (column.title[0] == '\0')
            drawPadlock(painter, QRectF(cell).adjusted(4, 3, -4, -3), kWhite);
        else
            painter.drawText(cell.adjusted(4, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter,
                             QString::fromLatin1(column.title));
    }

    // Thin rules in the gaps between the columns, down to the bottom of the table.
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(kRule);
    for (std::size_t i = 0; i + 1 < std::size(kColumns); ++i) {
        const int gapStart = kColumns[i].left + kColumns[i].width;
        const int x = (gapStart + kColumns[i + 1].left) / 2;
        painter.drawLine(x, kHeadingTop + 3, x, kTableBottom);
    }
    painter.drawLine(10, kHeadingTop, 10, kTableBottom);
    painter.drawLine(1114, kHeadingTop, 1114, kTableBottom);
    painter.drawLine(10, kTableBottom + 1, 1114, kTableBottom + 1);
    painter.end();
    return QPixmap::fromImage(image);
}

QSize buttonSize(ButtonKind kind)
{
    return designOf(kind).size;
}

ButtonPictures buttonPixmaps(ButtonKind kind)
{
    const ButtonDesign design = designOf(kind);
    return {drawButton(design, false), drawButton(design, true)};
}

QIcon menuIcon(MenuIcon kind)
{
    QImage image = transparentImage(QSize(16, 16));
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor ink(215, 215, 215);
    painter.setPen(QPen(ink, 1.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    switch (kind) {
    case MenuIcon::Executable:
        painter.drawRect(QRectF(1.5, 2.5, 13, 11));
        painter.drawLine(QPointF(1.5, 5), QPointF(14.5, 5));
        painter.setPen(Qt::NoPen);
        painter.setBrush(ink);
        painter.drawPolygon(QPolygonF({QPointF(6, 7), QPointF(11, 9.5), QPointF(6, 12)}));
        break;
    case MenuIcon::Proxy:
        painter.drawRect(QRectF(0.5, 1.5, 6, 5));
        painter.drawRect(QRectF(9.5, 9.5, 6, 5));
        painter.drawLine(QPointF(3.5, 6.5), QPointF(3.5, 12));
        painter.drawLine(QPointF(3.5, 12), QPointF(9.5, 12));
        break;
    case MenuIcon::WhiteList:
        painter.drawRect(QRectF(2.5, 0.5, 10, 15));
        for (const qreal y : {4.0, 7.0, 10.0})
            painter.drawLine(QPointF(4.5, y), QPointF(10.5, y));
        painter.setPen(QPen(ink, 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.drawPolyline(QPolygonF({QPointF(8, 12.5), QPointF(10, 14.5), QPointF(15, 9)}));
        break;
    case MenuIcon::Message:
        painter.drawRoundedRect(QRectF(0.5, 1.5, 15, 10), 3, 3);
        painter.drawPolyline(QPolygonF({QPointF(4, 11.5), QPointF(3.5, 15), QPointF(8, 11.5)}));
        for (const qreal x : {4.5, 8.0, 11.5})
            painter.drawPoint(QPointF(x, 6.5));
        break;
    case MenuIcon::About:
        painter.drawEllipse(QRectF(0.5, 0.5, 15, 15));
        painter.setPen(QPen(ink, 2, Qt::SolidLine, Qt::RoundCap));
        painter.drawPoint(QPointF(8, 4.5));
        painter.drawLine(QPointF(8, 7.5), QPointF(8, 12));
        break;
    }
    painter.end();
    return QIcon(QPixmap::fromImage(image));
}

QPixmap programIconPixmap(int size)
{
    // The same drawing as the installed icon theme's.
    const RgbaImage drawn = drawProgramIcon(size);
    const QImage image(drawn.pixels.data(), drawn.width, drawn.height, drawn.width * 4, QImage::Format_RGBA8888);
    return QPixmap::fromImage(image.copy());
}

QIcon programIcon()
{
    QIcon icon;
    for (const int size : kProgramIconSizes)
        icon.addPixmap(programIconPixmap(size));
    return icon;
}

} // namespace pelorix
