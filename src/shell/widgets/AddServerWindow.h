#pragma once

#include "admin/AddServer.h"
#include "admin/AddressCheck.h"

#include <QDialog>

#include <functional>

class QLabel;
class QLineEdit;
class QMouseEvent;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class QTimer;

namespace pelorix
{

class Dialogs;
class EventLabel;
class EventPump;
class PictureButton;
class WebClient;

// The Add server window: a server's address and query port, the quick-add line, and the log of an add in progress.
// Created once and reused; closing it hides it, and its fields keep their values.
class TForm3 final : public QDialog, public AddServerView
{
    Q_OBJECT

  public:
    // rearmStartup runs the main window's deferred start-up step again, 100 ms after an addition.
    TForm3(WebClient &web, EventPump &pump, Dialogs &dialogs, std::function<void()> rearmStartup,
           QWidget *parent = nullptr);

    void Image2Click();       // add
    void Image1Click();       // close
    void SpeedButton1Click(); // Default port
    void SpeedButton2Click(); // Quick add
    void Timer1Timer();       // the progress line
    void JvSpinEdit1KeyDown(QKeyEvent *event);
    void Panel1MouseDown(QMouseEvent *event);

    AddServer &engine() { return m_add; }
    const ProgressLine &progress() const { return m_progress; }

    EventLabel *Panel1 = nullptr;
    QPushButton *SpeedButton2 = nullptr;
    QLabel *Label1 = nullptr;
    QLineEdit *Edit1 = nullptr;
    QLabel *Label3 = nullptr;
    QSpinBox *JvSpinEdit1 = nullptr;
    QPushButton *SpeedButton1 = nullptr;
    QWidget *Panel2 = nullptr;
    QPlainTextEdit *Memo1 = nullptr;
    QLabel *Label2 = nullptr;
    PictureButton *sSpeedButton4 = nullptr;
    PictureButton *sSpeedButton3 = nullptr;
    QTimer *Timer1 = nullptr;

    // AddServerView.
    void clearLog() override;
    void appendLog(const std::string &line) override;
    void setLogVisible(bool visible) override;
    void startProgress() override;
    void stopProgress() override;
    void beep() override;
    void closeWindow() override;
    void rearmStartup() override;

  protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

  private:
    Dialogs &m_dialogs;
    std::function<void()> m_rearmStartup;
    AddServer m_add;
    ProgressLine m_progress;
};

} // namespace pelorix
