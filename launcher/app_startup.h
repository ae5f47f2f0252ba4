#pragma once
// The start-up decisions: may this process run at all (updater busy, hand-back token), and is it
// the only launcher (a second one asks the first to come forward and ends).

#include "hand_over.h"
#include "named_mutex.h"

#include <QLocalServer>
#include <QObject>
#include <QStringList>

#include <string>

namespace pavoline {

constexpr const char* kSingleInstanceName = "TAVIX_PAVOLINE_TOOL";
constexpr unsigned kInstanceMutexWaitMs = 15000;

// Exactly one argument, the token in any letter case.
bool HandBackTokenGiven(const QStringList& argumentsAfterProgram);

// False when the updater is running and the arguments do not hand the suite back.
bool MayStartWhileUpdating(bool updaterRunning, const QStringList& argumentsAfterProgram);
bool UpdaterRunning();

// While no updater runs (its lock is taken for the while), deals with what one that was cut off
// left in the suite; the line to tell the user, if any.
std::string CleanUpAfterCutOffUpdater(const std::string& programDir);

// Names get PAVOLINE_INSTANCE_SUFFIX appended, so that tests can run launchers side by side.
QString InstanceName(const char* base);

class SingleInstance : public QObject {
    Q_OBJECT
public:
    SingleInstance();
    // True when this process is now the one launcher. False when another launcher answered (it
    // was asked to come forward) or still holds the mutex after the wait: end silently then.
    bool claim(unsigned waitMs = kInstanceMutexWaitMs);

signals:
    void raiseRequested();

private:
    static bool AskRunningInstanceToRaise(const QString& serverName);

    ProcessMutex mutex_;
    QLocalServer server_;
};

} // namespace pavoline
