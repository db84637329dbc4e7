#pragma once

#include <QDialog>

class QPlainTextEdit;

namespace pelorix
{

class PictureButton;

// The message of the day.
class TForm5 final : public QDialog
{
    Q_OBJECT

  public:
    explicit TForm5(QWidget *parent = nullptr);

    void sSpeedButton4Click();

    QPlainTextEdit *Memo1 = nullptr;
    PictureButton *sSpeedButton4 = nullptr;

  protected:
    void resizeEvent(QResizeEvent *event) override;
};

} // namespace pelorix
