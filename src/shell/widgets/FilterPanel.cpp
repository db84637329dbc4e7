#include "shell/widgets/FilterPanel.h"

#include "core/Text.h"
#include "platform/widgets/Fonts.h"
#include "shell/widgets/FormControls.h"

#include <QComboBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QSpinBox>

namespace pelorix
{

namespace
{

constexpr int kPingMinimum = 10;
constexpr int kPingMaximum = 300;
constexpr int kPingDefault = 150;

EventLabel *caption(QWidget *parent, const char *text, int x, int y)
{
    auto *label = new EventLabel(parent);
    label->setText(QString::fromLatin1(text));
    label->setFont(pelorixFont(FontRole::Sans, 13, true));
    label->setStyleSheet(QStringLiteral("color: white; background: transparent;"));
    label->move(x, y);
    label->adjustSize();
    return label;
}

PictureCheckBox *checkBox(QWidget *parent, int x, int y)
{
    auto *box = new PictureCheckBox(parent);
    box->move(x, y);
    return box;
}

// The small picture of the "Find player" button: a magnifying glass.
QIcon findIcon()
{
    QPixmap picture(16, 16);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(220, 220, 220), 2));
    painter.drawEllipse(QRectF(2, 2, 8, 8));
    painter.drawLine(QPointF(9.5, 9.5), QPointF(14, 14));
    return QIcon(picture);
}

} // namespace

PictureCheckBox::PictureCheckBox(QWidget *parent)
    : QAbstractButton(parent)
{
    setCheckable(true);
    setFixedSize(57, 32);
    setCursor(Qt::PointingHandCursor);
}

void PictureCheckBox::paintEvent(QPaintEvent *)
{
    // The picture fills the left of the box, so the companion control can start right after it.
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const bool on = isChecked();
    const bool enabled = isEnabled();
    const QRectF box(3.5, 5.5, 22, 22);
    const QColor frame = enabled ? QColor(190, 190, 190) : QColor(85, 85, 85);
    const QColor fill = !enabled ? QColor(45, 45, 45) : on ? QColor(70, 70, 70) : QColor(20, 20, 20);
    painter.setPen(QPen(frame, 1.5));
    painter.setBrush(fill);
    painter.drawRoundedRect(box, 4, 4);
    if (on) {
        QPainterPath tick;
        tick.moveTo(8.5, 16.5);
        tick.lineTo(13, 21.5);
        tick.lineTo(21.5, 10);
        painter.setPen(
            QPen(enabled ? Qt::white : QColor(130, 130, 130), 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(tick);
    }
    if (hasFocus()) {
        painter.setPen(QPen(QColor(255, 255, 0, 160), 1, Qt::DotLine));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(box.adjusted(-2, -2, 2, 2), 5, 5);
    }
}

FilterPanel::FilterPanel(QWidget *parent)
    : QFrame(parent)
{
    setObjectName(QStringLiteral("Panel1"));
    setFixedSize(473, 322);
    setFrameShape(QFrame::Panel);
    setFrameShadow(QFrame::Sunken);
    setLineWidth(1);
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, Qt::black);
    setPalette(p);

    Label4 = caption(this, "Hide Non Accessible Servers", 25, 23);
    Label5 = caption(this, "Max Ping", 25, 79);
    Label6 = caption(this, "Game Type", 25, 134);
    Label10 = caption(this, "Show Only Game Version", 25, 192);
    Label7 = caption(this, "Hide Password Protected", 281, 23);
    Label8 = caption(this, "Hide Full Servers", 280, 79);
    Label9 = caption(this, "Hide Empty Servers", 280, 135);

    JvgCheckBox2 = checkBox(this, 22, 40);
    JvgCheckBox2->setChecked(true);
    JvgCheckBox2->setEnabled(false);
    JvgCheckBox1 = checkBox(this, 24, 97);
    JvgCheckBox3 = checkBox(this, 24, 152);
    JvgCheckBox7 = checkBox(this, 24, 209);
    JvgCheckBox4 = checkBox(this, 280, 40);
    JvgCheckBox5 = checkBox(this, 280, 97);
    JvgCheckBox6 = checkBox(this, 280, 152);

    // The companions start right after the pictures of their boxes.
    JvSpinEdit1 = new QSpinBox(this);
    JvSpinEdit1->setRange(kPingMinimum, kPingMaximum);
    JvSpinEdit1->setValue(kPingDefault);
    JvSpinEdit1->setGeometry(56, 103, 81, 22);
    JvSpinEdit1->setEnabled(false);
    ComboBox1 = new QComboBox(this);
    for (const auto item : kGameTypeItems)
        ComboBox1->addItem(toQString(item));
    ComboBox1->setGeometry(54, 156, 159, 22);
    ComboBox1->setEnabled(false);
    ComboBox2 = new QComboBox(this);
    for (const auto item : kGameVersionItems)
        ComboBox2->addItem(toQString(item));
    ComboBox2->setGeometry(55, 213, 110, 22);

    button_findplayer = new QPushButton(findIcon(), QStringLiteral("Find player"), this);
    button_findplayer->setFlat(true);
    button_findplayer->setGeometry(282, 213, 135, 24);
    button_findplayer->setFont(pelorixFont(FontRole::Sans, 13, true));
    button_findplayer->setStyleSheet(QStringLiteral("QPushButton { color: white; border: 1px solid #707070; }"
                                                    "QPushButton:hover { color: yellow; }"));

    sSpeedButton4 = new PictureButton(ButtonKind::Accept, this);
    sSpeedButton4->move(108, 258);
    sSpeedButton3 = new PictureButton(ButtonKind::Cancel, this);
    sSpeedButton3->move(310, 258);
    hide();
}

FilterPanelState FilterPanel::state() const
{
    FilterPanelState state;
    state.maxping = JvgCheckBox1->isChecked();
    state.gametype = JvgCheckBox3->isChecked();
    state.hidePasswordServers = JvgCheckBox4->isChecked();
    state.hideFullServers = JvgCheckBox5->isChecked();
    state.hideEmptyServers = JvgCheckBox6->isChecked();
    state.showGameVersion = JvgCheckBox7->isChecked();
    state.ping = fromQString(JvSpinEdit1->text());
    state.gametypeIndex = ComboBox1->currentIndex();
    state.gameVersionIndex = ComboBox2->currentIndex();
    return state;
}

void FilterPanel::setState(const FilterPanelState &state)
{
    JvgCheckBox1->setChecked(state.maxping);
    JvSpinEdit1->setEnabled(state.maxping);
    JvgCheckBox3->setChecked(state.gametype);
    JvgCheckBox4->setChecked(state.hidePasswordServers);
    JvgCheckBox5->setChecked(state.hideFullServers);
    JvgCheckBox6->setChecked(state.hideEmptyServers);
    JvgCheckBox7->setChecked(state.showGameVersion);
    // The box holds whole numbers from 10 to 300: a stored text outside them shows the nearest end, one that is no
    // number the default; OK then stores what the box shows.
    int ping = kPingDefault;
    if (!parseInt32(trimBlanks(state.ping), ping))
        ping = kPingDefault;
    JvSpinEdit1->setValue(ping);
    ComboBox1->setCurrentIndex(state.gametypeIndex);
    ComboBox2->setCurrentIndex(state.gameVersionIndex);
    ComboBox1->setEnabled(state.gametype);
    ComboBox2->setEnabled(state.showGameVersion);
}

void FilterPanel::mousePressEvent(QMouseEvent *event)
{
    emit mousePressed(event);
    QFrame::mousePressEvent(event);
}

void FilterPanel::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
    QFrame::mouseReleaseEvent(event);
}

} // namespace pelorix
