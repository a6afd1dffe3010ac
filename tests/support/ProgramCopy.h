#pragma once

#include "ChildOfTest.h"

#include <QProcessEnvironment>
#include <QString>

// A further copy of the player, started by a test beside the copy it runs in-process: the same
// folder for the single-instance lock, a working folder and a platform of its own. Killed when it
// goes, whatever the test's outcome.
class ProgramCopy : public ChildOfTest
{
public:
    ProgramCopy(const QString &lockDirectory, const QString &platform, const QString &workingDirectory)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), lockDirectory);
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), platform);
        setProcessEnvironment(environment);
        setWorkingDirectory(workingDirectory);
    }

    ~ProgramCopy() override
    {
        if (state() != NotRunning) {
            kill();
            waitForFinished();
        }
    }
};
