#include "tray/SingleInstance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QThread>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

QString runtimeDirectory()
{
    for (const char *variable : {"XDG_RUNTIME_DIR", "TMPDIR"}) {
        const QString dir = qEnvironmentVariable(variable);
        if (QDir::isAbsolutePath(dir) && QDir(dir).exists())
            return QDir::cleanPath(dir);
    }
    return QStringLiteral("/tmp");
}

QByteArray wordOf(SingleInstance::Request request)
{
    return request == SingleInstance::Request::preferences ? "preferences\n" : "show\n";
}

} // namespace

SingleInstance::SingleInstance(QString flavour, QObject *parent)
    : QObject(parent), m_baseName(QStringLiteral("quorlane-%1%2")
                                      .arg(::getuid())
                                      .arg(flavour.isEmpty() ? QString() : QLatin1Char('-') + flavour))
{
    // Only this user may connect: a request from elsewhere must not open someone's panel.
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *socket = m_server.nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] { answer(socket); });
        }
    });
}

SingleInstance::~SingleInstance()
{
    m_server.close();
    if (m_lockFd >= 0)
        ::close(m_lockFd);
}

QString SingleInstance::socketPath() const
{
    return runtimeDirectory() + QLatin1Char('/') + m_baseName + QStringLiteral(".socket");
}

QString SingleInstance::lockPath() const
{
    return runtimeDirectory() + QLatin1Char('/') + m_baseName + QStringLiteral(".lock");
}

bool SingleInstance::claim()
{
    if (m_server.isListening())
        return true;
    if (m_lockFd < 0) {
        const int fd = ::open(QFile::encodeName(lockPath()).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd < 0)
            return false;
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            ::close(fd);
            return false;
        }
        m_lockFd = fd;
    }
    // We hold the lock, so whatever socket file is there was left by a crashed instance.
    QLocalServer::removeServer(socketPath());
    return m_server.listen(socketPath());
}

bool SingleInstance::send(Request request, int timeoutMs) const
{
    const QDeadlineTimer deadline(timeoutMs);
    QLocalSocket socket;
    socket.connectToServer(socketPath());
    if (!socket.waitForConnected(int(deadline.remainingTime())))
        return false;
    socket.write(wordOf(request));
    if (!socket.waitForBytesWritten(int(deadline.remainingTime())))
        return false;
    // The reply says the running instance acted on it, not merely that the kernel took the bytes.
    while (!socket.canReadLine()) {
        if (!socket.waitForReadyRead(int(deadline.remainingTime())))
            return false;
    }
    return socket.readLine() == "ok\n";
}

SingleInstance::Outcome SingleInstance::claimOrHandOver(Request request, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    do {
        if (claim())
            return Outcome::claimed;
        if (send(request, int(std::min<qint64>(deadline.remainingTime(), 2000))))
            return Outcome::handedOver;
        // The holder of the lock is still starting (or dying); ask again shortly.
        QThread::msleep(100);
    } while (!deadline.hasExpired());
    return Outcome::noAnswer;
}

void SingleInstance::answer(QLocalSocket *socket)
{
    while (socket->canReadLine()) {
        const QByteArray line = socket->readLine();
        if (line == "show\n")
            Q_EMIT requested(Request::show);
        else if (line == "preferences\n")
            Q_EMIT requested(Request::preferences);
        else {
            socket->disconnectFromServer();
            return;
        }
        socket->write("ok\n");
    }
    // A peer that never ends its line cannot make us buffer without bound.
    if (socket->bytesAvailable() > 64)
        socket->disconnectFromServer();
}
