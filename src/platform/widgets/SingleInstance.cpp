#include "platform/widgets/SingleInstance.h"

#include "platform/InstanceRequest.h"
#include "platform/ProgramFolder.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <pwd.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <utility>

namespace pelorix
{

namespace
{

// How long a later run keeps trying to reach a first run that holds the lock but is not listening yet.
constexpr int kConnectPatienceMs = 5000;
constexpr int kReplyPatienceMs = 3000;
constexpr char kAcknowledge = '+';
// How often peers are checked against their deadline.
constexpr int kLatePeerCheckMs = 100;

// A folder only this user can change: a real folder (not a link), owned by us, writable by no one else.
bool isPrivate(const struct stat &info)
{
    return S_ISDIR(info.st_mode) && info.st_uid == ::geteuid() && (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

bool isPrivateFolder(const std::string &path)
{
    struct stat info {
    };
    return !path.empty() && path.front() == '/' && ::lstat(path.c_str(), &info) == 0 && isPrivate(info);
}

std::string withoutTrailingSlashes(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

std::string homeFolder()
{
    if (const char *home = std::getenv("HOME"); home && *home)
        return home;
    passwd entry{};
    passwd *found = nullptr;
    std::string buffer(16384, '\0');
    if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir)
        return found->pw_dir;
    return {};
}

// A socket file's whole path has to fit in the address, terminating zero included, and come back
// unchanged from the round trip through Qt's text.
bool fitsSocketAddress(const std::string &path)
{
    return !path.empty() && path.size() < sizeof(sockaddr_un::sun_path) &&
           QString::fromLocal8Bit(path).toLocal8Bit().toStdString() == path;
}

// Whoever is on the other end of a connected local socket runs as this user.
bool peerIsThisUser(qintptr descriptor)
{
    if (descriptor < 0)
        return false;
    ucred credentials{};
    socklen_t size = sizeof credentials;
    return ::getsockopt(static_cast<int>(descriptor), SOL_SOCKET, SO_PEERCRED, &credentials, &size) == 0 &&
           size == sizeof credentials && credentials.uid == ::geteuid();
}

} // namespace

std::string privateRuntimeFolder()
{
    if (const char *runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && isPrivateFolder(runtime))
        return withoutTrailingSlashes(runtime);
    std::string cache;
    if (const char *cacheHome = std::getenv("XDG_CACHE_HOME"); cacheHome && *cacheHome == '/') {
        cache = cacheHome;
    } else {
        const std::string home = homeFolder();
        if (home.empty() || home.front() != '/')
            return {};
        cache = withoutTrailingSlashes(home) + "/.cache";
    }
    std::error_code ec;
    std::filesystem::create_directories(cache, ec);
    const std::string folder = withoutTrailingSlashes(cache) + "/pelorix-runtime";
    ::mkdir(folder.c_str(), 0700);
    return isPrivateFolder(folder) ? folder : std::string();
}

QString SingleInstance::keyFor(const std::string &executablePath)
{
    std::error_code ec;
    auto path = std::filesystem::weakly_canonical(executablePath, ec);
    const std::string canonical = ec ? executablePath : path.string();
    // Letters are compared without regard to case: the key is taken from the upper-cased path.
    const QByteArray upper = QString::fromLocal8Bit(canonical.c_str()).toUpper().toUtf8();
    return QString::fromLatin1(QCryptographicHash::hash(upper, QCryptographicHash::Sha256).toHex().left(32));
}

SingleInstance::SingleInstance(const std::string &executablePath, QObject *parent)
    : QObject(parent)
    , m_key(keyFor(executablePath.empty() ? ExecutablePath() : executablePath))
    , m_clock([] { return std::chrono::steady_clock::now(); })
{
    const std::string folder = privateRuntimeFolder();
    if (folder.empty())
        return;
    UniqueFd folderFd(::open(folder.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat info {
    };
    // The folder held now must be the one just checked.
    if (!folderFd || ::fstat(folderFd.get(), &info) != 0 || !isPrivate(info))
        return;
    m_folderFd = std::move(folderFd);
    m_folder = QString::fromLocal8Bit(folder);
    m_lockName = "pelorix-" + m_key.toStdString() + ".lock";
    m_socketName = "pelorix-" + m_key.toStdString() + ".socket";
    m_lockPath = m_folder + QLatin1Char('/') + QString::fromLatin1(m_lockName);
    m_socketPath = m_folder + QLatin1Char('/') + QString::fromLatin1(m_socketName);
    // A socket address holds little more than 100 bytes; a deep folder is reached through our own handle on it.
    const std::string direct = folder + '/' + m_socketName;
    const std::string held = "/proc/self/fd/" + std::to_string(m_folderFd.get()) + '/' + m_socketName;
    if (fitsSocketAddress(direct))
        m_socketAddress = QString::fromLocal8Bit(direct);
    else if (fitsSocketAddress(held))
        m_socketAddress = QString::fromLatin1(held);
}

SingleInstance::~SingleInstance()
{
    // Closing the server removes the socket file (while the folder is still held); the lock goes after that.
    if (m_server)
        m_server->close();
}

void SingleInstance::setClock(Clock clock)
{
    m_clock = std::move(clock);
}

SingleInstance::Role SingleInstance::claim(const QStringList &arguments)
{
    if (m_claimed)
        return m_role;
    m_claimed = true;
    m_role = Role::Primary;
    // Without a private folder, or without a lock in it, there is no way to tell; running is better than not.
    if (!m_folderFd)
        return m_role;
    m_lock.reset(::openat(m_folderFd.get(), m_lockName.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!m_lock)
        return m_role;
    int locked;
    while ((locked = ::flock(m_lock.get(), LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) {
    }
    if (locked == 0) {
        listen();
        return m_role;
    }
    m_lock.reset();
    m_role = Role::Secondary;
    forward(arguments);
    return m_role;
}

void SingleInstance::listen()
{
    if (m_socketAddress.isEmpty())
        return;
    // We hold the lock, so whatever still has the name is a dead run's leftover.
    ::unlinkat(m_folderFd.get(), m_socketName.c_str(), 0);
    m_server = new QLocalServer(this);
    if (!m_server->listen(m_socketAddress))
        return;
    // The folder keeps others out already; the peer check keeps out whoever gets in anyway.
    ::fchmodat(m_folderFd.get(), m_socketName.c_str(), 0600, 0);
    m_lateTimer = new QTimer(this);
    m_lateTimer->setInterval(kLatePeerCheckMs);
    connect(m_lateTimer, &QTimer::timeout, this, &SingleInstance::dropLatePeers);
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::acceptPeers);
}

void SingleInstance::acceptPeers()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        if (pendingPeers() >= kMaxPeers || !peerIsThisUser(socket->socketDescriptor())) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        // Qt stops reading from the system once this much is waiting, so a peer can never make it keep more.
        socket->setReadBufferSize(static_cast<qint64>(kInstanceRequestLimit) + 1);
        m_peers.push_back({socket, {}, m_clock()});
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readPeer(socket); });
        connect(socket, &QLocalSocket::disconnected, this, [this, socket] { dropPeer(socket); });
        if (socket->bytesAvailable() > 0)
            readPeer(socket);
    }
    if (!m_peers.empty() && !m_lateTimer->isActive())
        m_lateTimer->start();
}

void SingleInstance::readPeer(QLocalSocket *socket)
{
    auto peer = std::find_if(m_peers.begin(), m_peers.end(), [socket](const Peer &p) { return p.socket == socket; });
    if (peer == m_peers.end())
        return;
    // One byte past the longest request is enough to know it is too long.
    const auto room = static_cast<qint64>(kInstanceRequestLimit + 1 - peer->received.size());
    const QByteArray chunk = socket->read(room);
    peer->received.append(chunk.constData(), static_cast<std::size_t>(chunk.size()));
    const InstanceRequest request = readInstanceRequest(peer->received);
    if (request.status == InstanceRequest::Status::Incomplete)
        return;
    if (request.status == InstanceRequest::Status::Invalid) {
        dropPeer(socket);
        return;
    }
    m_peers.erase(peer);
    disconnect(socket, nullptr, this, nullptr);
    // The answer tells the later run that its request has been taken, so it may end.
    socket->write(&kAcknowledge, 1);
    socket->flush();
    socket->disconnectFromServer();
    socket->deleteLater();
    QStringList arguments;
    for (const auto &argument : request.arguments)
        arguments << QString::fromUtf8(argument.data(), static_cast<qsizetype>(argument.size()));
    deliver(arguments);
}

void SingleInstance::dropPeer(QLocalSocket *socket)
{
    const auto peer =
        std::find_if(m_peers.begin(), m_peers.end(), [socket](const Peer &p) { return p.socket == socket; });
    if (peer != m_peers.end())
        m_peers.erase(peer);
    disconnect(socket, nullptr, this, nullptr);
    socket->abort();
    socket->deleteLater();
    if (m_peers.empty() && m_lateTimer)
        m_lateTimer->stop();
}

void SingleInstance::dropLatePeers()
{
    const auto now = m_clock();
    std::vector<QLocalSocket *> late;
    for (const Peer &peer : m_peers) {
        if (now - peer.since >= kRequestPatience)
            late.push_back(peer.socket);
    }
    for (QLocalSocket *socket : late)
        dropPeer(socket);
}

bool SingleInstance::forward(const QStringList &arguments)
{
    if (m_socketAddress.isEmpty())
        return false;
    std::vector<std::string> texts;
    for (const QString &argument : arguments)
        texts.push_back(argument.toUtf8().toStdString());
    const std::string request = encodeInstanceRequest(texts);

    const QDeadlineTimer deadline(kConnectPatienceMs);
    while (!deadline.hasExpired()) {
        QLocalSocket socket;
        socket.connectToServer(m_socketAddress);
        if (socket.waitForConnected(500)) {
            // Only a first run of this user hears our arguments.
            if (!peerIsThisUser(socket.socketDescriptor()))
                return false;
            socket.write(request.data(), static_cast<qint64>(request.size()));
            if (!socket.waitForBytesWritten(kReplyPatienceMs))
                return false;
            // The answer tells us the request has been taken, so ending now loses nothing.
            const bool acknowledged = socket.waitForReadyRead(kReplyPatienceMs) && socket.read(1) == "+";
            socket.disconnectFromServer();
            return acknowledged;
        }
        // The first run holds the lock but is still starting: try again shortly.
        QThread::msleep(50);
    }
    return false;
}

void SingleInstance::deliver(const QStringList &arguments)
{
    if (m_delivering)
        emit activationRequested(arguments);
    else
        m_pending.append(arguments);
}

void SingleInstance::deliverActivations()
{
    if (m_delivering)
        return;
    m_delivering = true;
    const auto pending = std::exchange(m_pending, {});
    for (const auto &arguments : pending)
        emit activationRequested(arguments);
}

void bringToFront(QWidget *window)
{
    if (!window)
        return;
    if (window->isMinimized())
        window->showNormal();
    else if (!window->isVisible())
        window->show();
    window->raise();
    window->activateWindow();
}

} // namespace pelorix
