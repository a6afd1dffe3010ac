#pragma once

#include "app/ui/DialogRegistry.h"
#include "player/ui/PlayerEngineFactory.h"

#include <QObject>

#include <memory>

class AccountPositions;
class AccountSession;
class CastSession;
class MainWindow;
class PlaybackController;
class PlayerEngine;
class PlayPositionStore;
class PlayRequest;
class PlaySession;
class QWidget;
class ServiceClient;

// The composition root: owns the program's long-lived objects (the service channel, the account
// session, playback, the play request, the main window and the one-instance dialogs) and wires
// them. Nothing else makes them; windows get what they need in their constructors.
class Application : public QObject
{
    Q_OBJECT

public:
    // Loads the announcements and builds the main window (not shown yet). A service channel made
    // before (start-up asks for an update first) is taken over; otherwise one is made.
    explicit Application(const PlayerEngineFactory &engineFactory, ServiceClient *client = nullptr,
                         QObject *parent = nullptr);
    ~Application() override;

    ServiceClient *serviceClient() const { return m_client; }
    AccountSession *session() const { return m_session; }
    PlaybackController *playback() const { return m_playback; }
    PlayRequest *playRequest() const { return m_playRequest; }
    PlaySession *playSession() const { return m_playSession; }
    PlayPositionStore *positions() const { return m_positions; }
    AccountPositions *accountPositions() const { return m_accountPositions; }
    CastSession *castSession() const { return m_cast; }
    MainWindow *mainWindow() const { return m_window.get(); }
    // The main window for those that only show or search it.
    QWidget *mainWidget() const;
    DialogRegistry *dialogs() { return &m_dialogs; }
    PlayerEngine *engine() const;

    // Brings the main window to the front (another copy was started).
    void raiseMainWindow();
    // Opens the parse page with a resource input (a magnet link, hash text or torrent path) from the
    // command line, another copy, a drop or the desktop's media controls; it waits for the login
    // and for a running resolution to end.
    void openResourceInput(const QString &input);
    // The boss key: hides the window and pauses, or shows it and plays.
    void toggleHidden();

    // The automatic login from user.dat, then the account dialog run modally while nobody is
    // logged in.
    void logIn();

private:
    void defineDialogs();
    void wire();
    void wireDesktop();
    void deliverPendingInput();

    ServiceClient *m_client;
    AccountSession *m_session;
    PlaybackController *m_playback;
    PlayRequest *m_playRequest;
    PlayPositionStore *m_positions;
    AccountPositions *m_accountPositions;
    PlaySession *m_playSession;
    CastSession *m_cast;
    DialogRegistry m_dialogs;
    QString m_pendingInput;
    // Last: the window and its dialogs go first, while what they use still exists.
    std::unique_ptr<MainWindow> m_window;
};
