#pragma once

#include <QTranslator>

#include <memory>

class SingleInstanceGuard;

// The start-up sequence after the application object exists, up to the event loop.
class StartUp
{
public:
    explicit StartUp(const QString &lockDirectory = QString());
    ~StartUp();

    // What main() sets up around the application object; shared with whatever else runs the
    // whole program in-process, so that it starts exactly as the program does.
    static void setApplicationAttributes(); // before the application object exists
    static void prepareApplication();       // right after it exists

    // Runs the sequence and returns the process exit status.
    int run();

    void installTranslator();
    // False when another copy runs; the warning box has then been shown. Its result is in *status.
    bool ensureSingleInstance(int *status);
    // The two questions of the first launch; the flag is cleared whatever the answers.
    void askFirstLaunchQuestions();

    static QString tutorialUrl();

private:
    QTranslator m_translator;
    QString m_lockDirectory;
    std::unique_ptr<SingleInstanceGuard> m_guard;
};
