#pragma once

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;

namespace pelorix
{

class PictureButton;
class SettingsStore;

// The proxy settings that the web client reads before every request.
class TForm6 final : public QDialog
{
    Q_OBJECT

  public:
    explicit TForm6(SettingsStore &settings, QWidget *parent = nullptr);

    void FormShow();
    void sSpeedButton1Click(); // save and close
    void sSpeedButton2Click(); // close

    QCheckBox *sCheckBox1 = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    QLabel *Label3 = nullptr;
    QLabel *Label5 = nullptr;
    QLineEdit *Edit1 = nullptr;
    QLineEdit *Edit2 = nullptr;
    QLineEdit *Edit3 = nullptr;
    QLineEdit *Edit4 = nullptr;
    PictureButton *sSpeedButton1 = nullptr;
    PictureButton *sSpeedButton2 = nullptr;

  protected:
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

  private:
    SettingsStore &m_settings;
};

} // namespace pelorix
