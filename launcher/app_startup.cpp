#include "app_startup.h"

#include <QLocalSocket>
#include <QString>

namespace pavoline {

bool HandBackTokenGiven(const QStringList& arguments) {
    return arguments.size() == 1 && arguments[0].compare(kHandBackToken, Qt::CaseInsensitive) == 0;
}

bool MayStartWhileUpdating(bool updaterRunning, const QStringList& arguments) {
    return !updaterRunning || HandBackTokenGiven(arguments);
}

QString InstanceName(const char* base) { return QString(base) + qEnvironmentVariable("PAVOLINE_INSTANCE_SUFFIX"); }

bool UpdaterRunning() { return ProcessMutex::IsHeldElsewhere(InstanceName(kUpdaterMutexName).toStdString()); }

SingleInstance::SingleInstance() : mutex_(InstanceName(kSingleInstanceName).toStdString()) {
    connect(&server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = server_.nextPendingConnection()) {
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                if (socket->readAll().contains("raise")) emit raiseRequested();
                socket->disconnectFromServer();
            });
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        }
    });
}

bool SingleInstance::AskRunningInstanceToRaise(const QString& serverName) {
    QLocalSocket socket;
    socket.connectToServer(serverName);
    if (!socket.waitForConnected(1000)) return false;
    socket.write("raise\n");
    socket.waitForBytesWritten(1000);
    socket.waitForDisconnected(1000);
    return true;
}

bool SingleInstance::claim(unsigned waitMs) {
    const QString name = InstanceName(kSingleInstanceName);
    if (AskRunningInstanceToRaise(name)) return false;
    // A launcher that is shutting down still holds the mutex for a moment.
    if (!mutex_.acquire(waitMs)) return false;
    QLocalServer::removeServer(name); // a socket left by a launcher that died
    server_.listen(name);
    return true;
}

} // namespace pavoline
