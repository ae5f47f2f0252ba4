#include "app_startup.h"

#include "platform.h"
#include "startup.h"

#include <QLocalSocket>
#include <QString>

namespace pavoline {
namespace {

constexpr const char* kRaiseRequest = "raise\n";
constexpr const char* kRaiseAnswer = "raised\n";
constexpr int kRaiseWaitMs = 2000;

} // namespace

bool HandBackTokenGiven(const QStringList& arguments) {
    return arguments.size() == 1 && arguments[0].compare(kHandBackToken, Qt::CaseInsensitive) == 0;
}

bool MayStartWhileUpdating(bool updaterRunning, const QStringList& arguments) {
    return !updaterRunning || HandBackTokenGiven(arguments);
}

QString InstanceName(const char* base) { return QString::fromStdString(WithInstanceSuffix(base)); }

bool UpdaterRunning() { return ProcessMutex::IsHeldElsewhere(InstanceName(kUpdaterMutexName).toStdString()); }

std::string CleanUpAfterCutOffUpdater(const std::string& programDir) {
    ProcessMutex updater(InstanceName(kUpdaterMutexName).toStdString());
    if (!updater.acquire(0)) return {}; // a running updater is at work on the suite
    return updater::CleanUpAfterLastUpdater(updater::PathsOf(programDir + "Novarel/Novarel"));
}

SingleInstance::SingleInstance() : mutex_(InstanceName(kSingleInstanceName).toStdString()) {
    connect(&server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = server_.nextPendingConnection()) {
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                if (!socket->readAll().contains(kRaiseRequest)) return;
                emit raiseRequested();
                socket->write(kRaiseAnswer);
                socket->flush();
                socket->disconnectFromServer();
            });
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        }
    });
}

bool SingleInstance::AskRunningInstanceToRaise(const QString& serverName) {
    QLocalSocket socket;
    socket.connectToServer(serverName);
    if (!socket.waitForConnected(kRaiseWaitMs)) return false;
    socket.write(kRaiseRequest);
    socket.waitForBytesWritten(kRaiseWaitMs);
    // A launcher that is shutting down may still accept the connection but no longer answers:
    // that counts as no launcher running.
    QByteArray answer;
    while (!answer.contains(kRaiseAnswer) && socket.waitForReadyRead(kRaiseWaitMs)) answer += socket.readAll();
    return answer.contains(kRaiseAnswer);
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
