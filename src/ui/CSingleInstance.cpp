#include "ui/CSingleInstance.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>

namespace
{
QByteArray Message()
{
    return QByteArray(CSingleInstance::kMessage) + '\n';
}
} // namespace

CSingleInstance::CSingleInstance(QString folder, QObject* parent)
    : QObject(parent), m_folder(std::move(folder))
{
    if (m_folder.isEmpty())
        m_folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
}

CSingleInstance::~CSingleInstance()
{
    if (m_server != nullptr)
        m_server->close();
}

QString CSingleInstance::LockPath() const
{
    return QDir(m_folder).filePath(kLockName);
}

QString CSingleInstance::SocketPath() const
{
    return QDir(m_folder).filePath(kMessage);
}

bool CSingleInstance::Acquire()
{
    if (m_folder.isEmpty() || !QDir().mkpath(m_folder))
        return true; // nowhere private to coordinate: run rather than refuse to start
    m_lock = std::make_unique<QLockFile>(LockPath());
    // Only a dead holder makes the lock stale, never its age: a copy may run for months.
    m_lock->setStaleLockTime(0);
    if (!m_lock->tryLock(0))
    {
        m_lock.reset();
        return false;
    }
    // Holding the lock, a socket file left here can only be a crashed copy's.
    QLocalServer::removeServer(SocketPath());
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this,
            [this]
            {
                while (QLocalSocket* client = m_server->nextPendingConnection())
                {
                    connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
                    connect(client, &QLocalSocket::readyRead, client,
                            [this, client]
                            {
                                if (!client->canReadLine())
                                    return;
                                if (client->readLine() != Message())
                                {
                                    client->disconnectFromServer();
                                    return;
                                }
                                client->write(Message());
                                client->flush();
                                emit ShowRequested();
                            });
                }
            });
    m_server->listen(SocketPath());
    return true;
}

bool CSingleInstance::AskFirstToShow(int timeoutMs)
{
    QLocalSocket socket;
    socket.connectToServer(SocketPath());
    if (!socket.waitForConnected(timeoutMs))
        return false;
    socket.write(Message());
    if (!socket.waitForBytesWritten(timeoutMs))
        return false;
    while (!socket.canReadLine())
        if (!socket.waitForReadyRead(timeoutMs))
            return false;
    return socket.readLine() == Message();
}
