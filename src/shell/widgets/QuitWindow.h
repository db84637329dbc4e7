#pragma once

#include <QDialog>

#include <functional>
#include <string>

class QAbstractButton;
class QLabel;
class QMouseEvent;

namespace pelorix
{

class EventLabel;
class PictureButton;

// The quit window: "Quit application ?" with YES and NO.
class TForm4 final : public QDialog
{
    Q_OBJECT

  public:
    // kill: KillProcessesByName in the program, a recorder in tests; it gets the executable's file name.
    TForm4(std::function<bool(const std::string &)> kill, std::string executableFileName, QWidget *parent = nullptr);

    void SpeedButton1Click();                 // "YES"
    void SpeedButton2Click();                 // "NO"
    void Panel1MouseDown(QMouseEvent *event); // drags the window

    EventLabel *Panel1 = nullptr;
    QLabel *Image1 = nullptr;
    QLabel *Label1 = nullptr;
    QAbstractButton *SpeedButton1 = nullptr;
    QAbstractButton *SpeedButton2 = nullptr;

  private:
    std::function<bool(const std::string &)> m_kill;
    std::string m_executableFileName;
};

} // namespace pelorix
