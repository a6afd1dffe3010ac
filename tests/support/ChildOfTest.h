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

protected:
    void setupChildProcess() override { ::prctl(PR_SET_PDEATHSIG, SIGTERM); }
};
