#include "platform/widgets/SingleInstance.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>
#include <QThread>

#include <algorithm>

namespace pelmora {

namespace {

const QByteArray kShowRequest = QByteArrayLiteral("show\n");
const QByteArray kShownAnswer = QByteArrayLiteral("shown\n");
constexpr int kRetryMs = 100;

// The file's path with links and "." / ".." resolved as far as it exists, so that two spellings
// of one configuration file meet.
QString CanonicalPath(const QString& fileName)
{
    const QFileInfo file(fileName);
    const QString whole = file.canonicalFilePath();
    if (!whole.isEmpty())
        return whole;
    const QString folder = QFileInfo(file.absolutePath()).canonicalFilePath();
    return (folder.isEmpty() ? file.absolutePath() : folder) + QLatin1Char('/') + file.fileName();
}

} // namespace

TSingleInstance::TSingleInstance(const QString& configFileName, const QString& folder, QObject* parent)
    : QObject(parent)
{
    QString where = folder;
    if (where.isEmpty())
        where = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (where.isEmpty())
        where = QDir::tempPath();
    const QByteArray digest =
        QCryptographicHash::hash(CanonicalPath(configFileName).toUtf8(), QCryptographicHash::Sha256).toHex().left(24);
    m_base = where + QStringLiteral("/pelmora-") + QString::fromLatin1(digest);
}

TSingleInstance::~TSingleInstance()
{
    if (m_server)
        m_server->close();
}

TSingleInstance::Claim TSingleInstance::TryClaim()
{
    if (m_lock && m_lock->isLocked())
        return Claim::First;
    m_lock = std::make_unique<QLockFile>(LockFileName());
    // Only a dead owner makes the lock stale, never its age: a program may run for months.
    m_lock->setStaleLockTime(0);
    if (!m_lock->tryLock(0))
        return m_lock->error() == QLockFile::LockFailedError ? Claim::Running : Claim::Failed;

    // A socket file left by a program that died would make listen() fail.
    QLocalServer::removeServer(SocketName());
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, &TSingleInstance::acceptConnection);
    if (!m_server->listen(SocketName()))
        return Claim::Failed;
    return Claim::First;
}

void TSingleInstance::acceptConnection()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (!socket->canReadLine())
                return;
            const QByteArray request = socket->readLine();
            if (request == kShowRequest) {
                emit ShowRequested();
                socket->write(kShownAnswer);
                socket->flush();
            }
            socket->disconnectFromServer();
        });
    }
}

bool TSingleInstance::AskToShow(int timeoutMs) const
{
    const QDeadlineTimer deadline(timeoutMs);
    do {
        QLocalSocket socket;
        socket.connectToServer(SocketName());
        if (socket.waitForConnected(static_cast<int>(std::max<qint64>(deadline.remainingTime(), 1)))) {
            socket.write(kShowRequest);
            socket.flush();
            while (!socket.canReadLine() &&
                   socket.waitForReadyRead(static_cast<int>(std::max<qint64>(deadline.remainingTime(), 1)))) {
            }
            if (socket.canReadLine() && socket.readLine() == kShownAnswer)
                return true;
        }
        // The first program holds the lock but is not listening yet: it is still starting.
        QThread::msleep(kRetryMs);
    } while (!deadline.hasExpired());
    return false;
}

} // namespace pelmora
