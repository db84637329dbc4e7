#pragma once

#include <QObject>
#include <QStringList>

#include <functional>
#include <memory>
#include <string>

class QLocalServer;
class QWidget;

namespace pelorix {

// One running copy per executable file. Two runs are the same application when they start the same
// executable: its canonical path, letters compared without regard to case.
//
// The first run holds an flock on a lock file in $XDG_RUNTIME_DIR (/tmp when unset) for its whole
// life and listens on a local socket named after the executable. A later run fails to take the lock,
// connects (retrying for a few seconds while the first is still starting), hands over its arguments
// and learns that it must end (exit code 0, no window).
//
// Use in main(), after the QApplication exists and before any window:
//     SingleInstance instance;
//     if (instance.claim(arguments) == SingleInstance::Role::Secondary)
//         return 0;
//     ... create the main window ...
//     instance.setActivationHandler([&](const QStringList &) { bringToFront(&mainWindow); });
// Requests that arrive before the handler is set are kept and delivered when it is set.
class SingleInstance : public QObject
{
    Q_OBJECT

public:
    enum class Role { Primary, Secondary };

    // executablePath: the file that identifies the application; empty means this program's own.
    explicit SingleInstance(const std::string &executablePath = {}, QObject *parent = nullptr);
    ~SingleInstance() override;

    // Primary: this run is the first; the lock is held and requests are accepted from now on.
    // Secondary: another run holds the lock; `arguments` were passed to it (when it could be
    // reached within a few seconds). Calling it again returns the first answer.
    Role claim(const QStringList &arguments);

    // Called with the arguments of every later run, on this thread, in arrival order.
    void setActivationHandler(std::function<void(const QStringList &)> handler);

    // The key derived from the executable path (hex digest of the upper-cased canonical path).
    static QString keyFor(const std::string &executablePath);
    QString lockFilePath() const { return m_lockPath; }
    QString serverName() const { return m_serverName; }

signals:
    // Emitted with the arguments of every later run, also before a handler is set.
    void activationRequested(const QStringList &arguments);

private:
    void acceptConnections();
    void deliver(const QStringList &arguments);
    bool forward(const QStringList &arguments);

    QString m_key;
    QString m_lockPath;
    QString m_serverName;
    int m_lockFd = -1;
    bool m_claimed = false;
    Role m_role = Role::Primary;
    QLocalServer *m_server = nullptr;
    std::function<void(const QStringList &)> m_handler;
    QList<QStringList> m_pending;
};

// Restores a minimised window, raises it and gives it the keyboard focus.
void bringToFront(QWidget *window);

} // namespace pelorix
