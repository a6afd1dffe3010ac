#pragma once

#include <QProcess>

#include <signal.h>
#include <sys/prctl.h>

// A process a test starts and that ends with the test, also when the test crashes or is killed on
// a time-out, when the destructors that stop it never run.
class ChildOfTest : public QProcess
{
public:
    using QProcess::QProcess;

    // SIGTERM, then SIGKILL once graceMs have passed; returns at once when it is not running.
    void stop(int graceMs = 5000)
    {
        if (state() == NotRunning)
            return;
        terminate();
        if (!waitForFinished(graceMs)) {
            kill();
            waitForFinished(5000);
        }
    }

protected:
    void setupChildProcess() override { ::prctl(PR_SET_PDEATHSIG, SIGTERM); }
};
