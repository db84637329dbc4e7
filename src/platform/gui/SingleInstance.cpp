#include "platform/gui/SingleInstance.h"

#include "platform/ProgramFolder.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDeadlineTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>
#include <QWidget>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <unistd.h>

namespace pelorix {

namespace {

// How long a later run keeps trying to reach a first run that holds the lock but is not listening yet.
constexpr int kConnectPatienceMs = 5000;
constexpr int kReplyPatienceMs = 3000;
constexpr char kAcknowledge = '+';

QString runtimeFolder()
{
    const char *runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && *runtime && ::access(runtime, W_OK | X_OK) == 0)
        return QString::fromLocal8Bit(runtime);
    return QStringLiteral("/tmp");
}

QByteArray encodeRequest(const QStringList &arguments)
{
    QByteArray body;
    QDataStream out(&body, QIODevice::WriteOnly);
    out << arguments;
    QByteArray message;
    QDataStream header(&message, QIODevice::WriteOnly);
    header << static_cast<quint32>(body.size());
    return message + body;
}

// A complete request from the front of buffer (removed from it), or false while it is still incomplete.
bool takeRequest(QByteArray &buffer, QStringList &arguments)
{
    if (buffer.size() < 4)
        return false;
    quint32 size = 0;
    QDataStream header(buffer.left(4));
    header >> size;
    if (static_cast<quint64>(buffer.size()) < 4u + size)
        return false;
    QDataStream in(buffer.mid(4, static_cast<qsizetype>(size)));
    in >> arguments;
    buffer.remove(0, 4 + static_cast<qsizetype>(size));
    return in.status() == QDataStream::Ok;
}

} // namespace

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
{
    // The user id in the name keeps users apart when the lock files share /tmp.
    m_lockPath = runtimeFolder() + QStringLiteral("/pelorix-%1-%2.lock").arg(m_key).arg(::getuid());
    // An abstract socket name: nothing stays behind in the file system when a run is killed.
    m_serverName = QStringLiteral("pelorix-%1-%2").arg(m_key).arg(::getuid());
}

SingleInstance::~SingleInstance()
{
    if (m_server)
        m_server->close();
    if (m_lockFd >= 0)
        ::close(m_lockFd);
}

SingleInstance::Role SingleInstance::claim(const QStringList &arguments)
{
    if (m_claimed)
        return m_role;
    m_claimed = true;

    m_lockFd = ::open(m_lockPath.toLocal8Bit().constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (m_lockFd < 0) {
        // Without a lock file there is no way to tell; running is better than refusing to run.
        m_role = Role::Primary;
        acceptConnections();
        return m_role;
    }
    int locked;
    while ((locked = ::flock(m_lockFd, LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) {
    }
    if (locked == 0) {
        m_role = Role::Primary;
        acceptConnections();
        return m_role;
    }
    ::close(m_lockFd);
    m_lockFd = -1;
    m_role = Role::Secondary;
    forward(arguments);
    return m_role;
}

void SingleInstance::acceptConnections()
{
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::AbstractNamespaceOption);
    if (!m_server->listen(m_serverName)) {
        // We hold the lock, so whoever still has the name is a dead run's leftover.
        QLocalServer::removeServer(m_serverName);
        m_server->listen(m_serverName);
    }
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *socket = m_server->nextPendingConnection()) {
            auto buffer = std::make_shared<QByteArray>();
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            auto readRequest = [this, socket, buffer] {
                buffer->append(socket->readAll());
                QStringList arguments;
                if (takeRequest(*buffer, arguments)) {
                    socket->write(&kAcknowledge, 1);
                    socket->flush();
                    deliver(arguments);
                }
            };
            connect(socket, &QLocalSocket::readyRead, this, readRequest);
            if (socket->bytesAvailable() > 0)
                readRequest();
        }
    });
}

bool SingleInstance::forward(const QStringList &arguments)
{
    const QDeadlineTimer deadline(kConnectPatienceMs);
    while (!deadline.hasExpired()) {
        QLocalSocket socket;
        socket.setSocketOptions(QLocalSocket::AbstractNamespaceOption);
        socket.connectToServer(m_serverName);
        if (socket.waitForConnected(500)) {
            socket.write(encodeRequest(arguments));
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
    emit activationRequested(arguments);
    if (m_handler)
        m_handler(arguments);
    else
        m_pending.append(arguments);
}

void SingleInstance::setActivationHandler(std::function<void(const QStringList &)> handler)
{
    m_handler = std::move(handler);
    if (!m_handler)
        return;
    const auto pending = std::exchange(m_pending, {});
    for (const auto &arguments : pending)
        m_handler(arguments);
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
