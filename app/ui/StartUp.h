#pragma once

#include <QTranslator>

#include <memory>

class InstanceChannel;
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
    // False when another copy runs; it has been asked to come to the front and the warning box has
    // been shown above it. Its result is in *status. True: this copy listens for later copies.
    bool ensureSingleInstance(int *status);
    // Where later copies reach this one (after ensureSingleInstance succeeded).
    InstanceChannel *instanceChannel() const { return m_channel.get(); }
    // The two questions of the first launch; the flag is cleared whatever the answers.
    void askFirstLaunchQuestions();

    static QString tutorialUrl();

private:
    QTranslator m_translator;
    QString m_lockDirectory;
    std::unique_ptr<SingleInstanceGuard> m_guard;
    std::unique_ptr<InstanceChannel> m_channel;
};
