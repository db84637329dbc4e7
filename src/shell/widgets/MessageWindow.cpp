#include "shell/widgets/MessageWindow.h"

#include "shell/widgets/FormControls.h"

#include <QPlainTextEdit>

namespace pelorix
{

TForm5::TForm5(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("TForm5"));
    setWindowTitle(QString());
    resize(496, 398);
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, Qt::black);
    setPalette(p);

    Memo1 = new QPlainTextEdit(QStringLiteral("Memo1"), this);
    Memo1->setReadOnly(true);
    Memo1->setFrameShape(QFrame::NoFrame);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setStyleSheet(QStringLiteral("QPlainTextEdit { background: black; color: white; }"));

    sSpeedButton4 = new PictureButton(ButtonKind::Accept, this);
    connect(sSpeedButton4, &QAbstractButton::clicked, this, [this] { sSpeedButton4Click(); });
    resizeEvent(nullptr);
}

void TForm5::resizeEvent(QResizeEvent *)
{
    // The memo fills the top 330 pixels; the check button keeps its distance to the right and bottom edges.
    Memo1->setGeometry(0, 0, width(), 330 + (height() - 398));
    sSpeedButton4->move(427 + (width() - 496), 338 + (height() - 398));
}

void TForm5::sSpeedButton4Click()
{
    close();
}

} // namespace pelorix
