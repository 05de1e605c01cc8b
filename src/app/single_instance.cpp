#include "single_instance.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QtEndian>

#include <unistd.h>

namespace {

constexpr qsizetype kMessageSize = 12;
constexpr int kConnectWaitMs = 1000;

QString displayName()
{
    for (const char *variable : {"DISPLAY", "WAYLAND_DISPLAY"}) {
        QString display = qEnvironmentVariable(variable);
        if (!display.isEmpty())
            return display.replace(QLatin1Char('/'), QLatin1Char('_'));
    }
    return QStringLiteral("offscreen");
}

} // namespace

QString TSingleInstance::defaultName()
{
    return QStringLiteral("Quillbook-%1-%2").arg(::getuid()).arg(displayName());
}

TSingleInstance::TSingleInstance(QString name, QObject *parent)
    : QObject(parent), m_name(std::move(name))
{
}

bool TSingleInstance::notifyRunningCopy()
{
    QLocalSocket socket;
    socket.connectToServer(m_name);
    if (!socket.waitForConnected(kConnectWaitMs))
        return false;
    char frame[kMessageSize];
    qToLittleEndian<quint32>(kAnotherCopyStarted, frame);
    qToLittleEndian<quint32>(0, frame + 4);
    qToLittleEndian<quint32>(0, frame + 8);
    socket.write(frame, kMessageSize);
    socket.waitForBytesWritten(kConnectWaitMs);
    socket.disconnectFromServer();
    return true;
}

bool TSingleInstance::listen()
{
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    // Nobody answered on the name, so a socket file under it is a crashed copy's.
    QLocalServer::removeServer(m_name);
    if (!m_server->listen(m_name))
        return false;
    connect(m_server, &QLocalServer::newConnection, this, &TSingleInstance::acceptConnections);
    return true;
}

void TSingleInstance::acceptConnections()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (socket->bytesAvailable() < kMessageSize)
                return;
            char frame[kMessageSize];
            const qint64 got = socket->read(frame, kMessageSize);
            // One message per connection; whatever else a peer sends is not read.
            socket->disconnect(this);
            socket->abort();
            // A read that failed after all gives fewer bytes than the frame holds.
            if (got != kMessageSize)
                return;
            emit messageReceived(qFromLittleEndian<quint32>(frame),
                                 qFromLittleEndian<quint32>(frame + 4),
                                 qFromLittleEndian<quint32>(frame + 8));
        });
    }
}
