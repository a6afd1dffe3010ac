#pragma once

#include "player/ui/PlayerEngineFactory.h"

#include <QCoreApplication>
#include <QString>

#include <memory>

class Application;
class EngineModule;
class FontWarmUp;
class InstanceChannel;
class ServiceClient;
class SingleInstanceGuard;

// The start-up sequence after the application object exists, up to the event loop.
class StartUp
{
    Q_DECLARE_TR_FUNCTIONS(StartUp)

public:
    // Without an engine factory the program's own engine module is used.
    explicit StartUp(const QString &lockDirectory = QString(), const PlayerEngineFactory &engineFactory = {});
    ~StartUp();

    // What main() sets up around the application object; shared with whatever else runs the
    // whole program in-process, so that it starts exactly as the program does.
    static void setApplicationAttributes(); // before the application object exists
    static void prepareApplication();       // right after it exists

    // Runs the sequence and returns the process exit status.
    int run();

    // The interface language of this run (--lang, PELORIN_LANG, Config.ini) with Qt's own texts.
    void installTranslator();
    // False when another copy runs; it has been asked to come to the front and the warning box has
    // been shown above it. Its result is in *status. True: this copy listens for later copies.
    // With a resource input to open, a running copy that takes it over opens it instead, and this
    // copy ends quietly (status 0) without the warning.
    bool ensureSingleInstance(int *status);
    // What the program was started with (made independent of the working directory first).
    void setResourceInput(const QString &input) { m_resourceInput = input; }
    // Where later copies reach this one (after ensureSingleInstance succeeded).
    InstanceChannel *instanceChannel() const { return m_channel.get(); }
    // The two questions of the first launch; the flag is cleared whatever the answers.
    void askFirstLaunchQuestions();

    // The update check: true when the service names another version; the update dialog has then
    // been run and *status holds its result.
    bool updateTakesOver(ServiceClient *client, int *status);
    // The pop-up notice over the shown main window, when the service switches one on.
    void showNotice(Application &application);
    // What pelorin-updater reports when it starts this version again after a failed update
    // ("--update-failed TEXT" on the command line).
    static void showUpdateFailure(const QStringList &arguments);

    static QString tutorialUrl();
    // A copy installed under /usr works in ~/.local/share/pelorin/player (made when missing).
    static void enterUserFolderWhenInstalled();

    // Start-up's own requests (update, announcements, notice) fail silently; this keeps a service
    // that accepts connections and never answers from holding the start for long.
    static constexpr int kStartUpTransferTimeoutMs = 5000;

private:
    QString m_lockDirectory;
    QString m_resourceInput;
    bool m_applicationWired = false;
    PlayerEngineFactory m_engineFactory;
    std::unique_ptr<EngineModule> m_engineModule;
    std::unique_ptr<FontWarmUp> m_fontWarmUp;
    std::unique_ptr<SingleInstanceGuard> m_guard;
    std::unique_ptr<InstanceChannel> m_channel;
};
