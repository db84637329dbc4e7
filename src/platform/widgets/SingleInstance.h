#pragma once

#include "platform/UniqueFd.h"

#include <QObject>
#include <QStringList>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

class QLocalServer;
class QLocalSocket;
class QTimer;
class QWidget;

namespace pelorix
{

// One running copy per executable file. Two runs are the same application when they start the same
// executable: its canonical path, letters compared without regard to case.
//
// The first run holds an flock on a lock file for its whole life and listens on a socket file beside it,
// both in the user's private runtime folder (privateRuntimeFolder). A later run fails to take the lock,
// connects (retrying for a few seconds while the first is still starting), hands over its arguments and
// learns that it must end (exit code 0, no window).
//
// What arrives on the socket is outside input: only peers of this user id are heard, a request is at most
// kInstanceRequestLimit bytes, at most a few peers are heard at once, and a peer whose request is not
// complete within a second is dropped. Nothing waits for a peer, so a stuck one never holds up the window.
//
// Use in main(), after the QApplication exists and before any window:
//     SingleInstance instance;
//     if (instance.claim(arguments) == SingleInstance::Role::Secondary)
//         return 0;
//     ... create the main window ...
//     QObject::connect(&instance, &SingleInstance::activationRequested, &window, [&] { bringToFront(&window); });
//     instance.deliverActivations();
// Requests that arrive before deliverActivations are kept and emitted by it.
class SingleInstance : public QObject
{
    Q_OBJECT

  public:
    enum class Role { Primary, Secondary };
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    // How long a peer has to deliver its whole request.
    static constexpr std::chrono::milliseconds kRequestPatience{1000};
    // Peers heard at once; more are turned away until one is done.
    static constexpr int kMaxPeers = 8;

    // executablePath: the file that identifies the application; empty means this program's own.
    explicit SingleInstance(const std::string &executablePath = {}, QObject *parent = nullptr);
    ~SingleInstance() override;

    // Primary: this run is the first; the lock is held and requests are accepted from now on. Also when
    // there is no private folder to meet in: running alone is better than not running.
    // Secondary: another run holds the lock; `arguments` were passed to it (when it could be
    // reached within a few seconds). Calling it again returns the first answer.
    Role claim(const QStringList &arguments);

    // From now on activationRequested is emitted for every later run as it arrives; the requests kept until now
    // are emitted first, in arrival order.
    void deliverActivations();

    // The clock that times each peer's request; the steady clock unless replaced (tests).
    void setClock(Clock clock);

    // The key derived from the executable path (hex digest of the upper-cased canonical path).
    static QString keyFor(const std::string &executablePath);
    // The private folder the two files live in; empty when no folder could be trusted.
    QString folder() const { return m_folder; }
    QString lockFilePath() const { return m_lockPath; }
    QString socketPath() const { return m_socketPath; }
    // The name this process binds and connects to: the socket's path, or, when that is too long for a
    // socket address, the same file reached through the held folder (/proc/self/fd/N/...). Empty when
    // neither fits.
    QString socketAddress() const { return m_socketAddress; }
    // Peers connected now whose request has not come in whole yet.
    int pendingPeers() const { return static_cast<int>(m_peers.size()); }

  signals:
    // The arguments of a later run, on this thread, in arrival order, once deliverActivations was called.
    void activationRequested(const QStringList &arguments);

  private:
    struct Peer {
        QLocalSocket *socket = nullptr;
        std::string received;
        std::chrono::steady_clock::time_point since;
    };

    void listen();
    void acceptPeers();
    void readPeer(QLocalSocket *socket);
    void dropPeer(QLocalSocket *socket);
    void dropLatePeers();
    void deliver(const QStringList &arguments);
    bool forward(const QStringList &arguments);

    QString m_key;
    QString m_folder;
    QString m_lockPath;
    QString m_socketPath;
    QString m_socketAddress;
    std::string m_lockName;
    std::string m_socketName;
    // The folder as it was checked, held open so that the files are made in that very folder.
    UniqueFd m_folderFd;
    UniqueFd m_lock;
    bool m_claimed = false;
    Role m_role = Role::Primary;
    QLocalServer *m_server = nullptr;
    QTimer *m_lateTimer = nullptr;
    std::vector<Peer> m_peers;
    Clock m_clock;
    bool m_delivering = false;
    QList<QStringList> m_pending;
};

// The user's private runtime folder: $XDG_RUNTIME_DIR when it is an absolute path to a folder (not a
// link) that belongs to this user and that no one else may write to; otherwise "pelorix-runtime" in
// $XDG_CACHE_HOME (~/.cache when unset), created with mode 0700 and held to the same test. Never a
// shared folder such as /tmp. Empty when neither can be trusted.
std::string privateRuntimeFolder();

// Restores a minimised window, raises it and gives it the keyboard focus.
void bringToFront(QWidget *window);

} // namespace pelorix
