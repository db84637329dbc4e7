#pragma once

#include <QDialog>

class QPlainTextEdit;

namespace pelorix
{

class PictureButton;

// The message of the day: a fixed-size window with a title that shows empty.
class TForm5 final : public QDialog
{
    Q_OBJECT

  public:
    explicit TForm5(QWidget *parent = nullptr);

    void sSpeedButton4Click();

    QPlainTextEdit *Memo1 = nullptr;
    PictureButton *sSpeedButton4 = nullptr;
};

} // namespace pelorix
