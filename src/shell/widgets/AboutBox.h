#pragma once

#include <QDialog>

#include <functional>
#include <string>

class QGroupBox;
class QLabel;
class QMouseEvent;
class QPlainTextEdit;
class QPushButton;

namespace pelorix
{

class Dialogs;
class EventLabel;

// The About box: version, authorship, home page, licence; a double click on the icon fetches the installer again.
class TForm2 final : public QDialog
{
    Q_OBJECT

  public:
    struct Services {
        // The shell's "open" (file, parameters, working folder).
        std::function<bool(const std::string &, const std::string &, const std::string &)> shellOpen;
        // DownloadToFile(address, file path).
        std::function<bool(const std::string &, const std::string &)> downloadToFile;
        // Shows or hides the main window's update_panel and lets it be drawn.
        std::function<void(bool)> showUpdatePanel;
        std::string programFolder; // ends with '/'
        // Says why a downloaded installer was refused.
        Dialogs *dialogs = nullptr;
    };

    static constexpr const char *kHomePage = "http://pelorix.example.org/";

    explicit TForm2(Services services, QWidget *parent = nullptr);

    void Label3Click();
    void Image1DblClick();
    // Pressing the background or the version box drags the window.
    void Panel1MouseDown(QMouseEvent *event);
    void GroupBox1MouseDown(QMouseEvent *event);

    EventLabel *Panel1 = nullptr;
    QGroupBox *GroupBox1 = nullptr;
    EventLabel *Image1 = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    EventLabel *Label3 = nullptr;
    QGroupBox *GroupBox2 = nullptr;
    QPlainTextEdit *Memo1 = nullptr;
    QPushButton *BitBtn1 = nullptr;

  protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

  private:
    Services m_services;
};

} // namespace pelorix
