#include "shell/widgets/MessageWindow.h"

#include "shell/widgets/FormControls.h"
#include "shell/widgets/PlainText.h"

#include <QPlainTextEdit>

namespace pelorix
{

TForm5::TForm5(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("TForm5"));
    setWindowTitle(blankWindowTitle());
    setFixedSize(496, 398);
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, Qt::black);
    setPalette(p);

    // A plain-text memo: the message comes from the web service and is shown as it came.
    Memo1 = new QPlainTextEdit(QStringLiteral("Memo1"), this);
    Memo1->setGeometry(0, 0, 496, 330);
    Memo1->setReadOnly(true);
    Memo1->setFrameShape(QFrame::NoFrame);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setStyleSheet(QStringLiteral("QPlainTextEdit { background: black; color: white; }"));

    sSpeedButton4 = new PictureButton(ButtonKind::Accept, this);
    sSpeedButton4->move(427, 338);
    connect(sSpeedButton4, &QAbstractButton::clicked, this, [this] { sSpeedButton4Click(); });
}

void TForm5::sSpeedButton4Click()
{
    close();
}

} // namespace pelorix
