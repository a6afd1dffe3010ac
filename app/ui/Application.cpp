#include "app/ui/Application.h"

#include "account/AccountSession.h"
#include "account/ui/AccountFunctionDialog.h"
#include "notices/ui/VIPTipDialog.h"
#include "player/PlayPositionStore.h"
#include "player/PlaybackController.h"
#include "player/RendererModule.h"
#include "player/ui/SubtitleSettingDialog.h"
#include "resources/AccountPositions.h"
#include "resources/CastSession.h"
#include "resources/PlaybackRecovery.h"
#include "resources/PlayRequest.h"
#include "resources/PlaySession.h"
#include "resources/ResourceSubtitles.h"
#include "resources/ui/BTResourceFunctionDialog.h"
#include "service/Endpoints.h"
#include "service/ServiceClient.h"
#include "shell/AnnouncementList.h"
#include "shell/ui/BossKey.h"
#include "shell/ui/CastMenu.h"
#include "shell/ui/ContextMenu.h"
#include "shell/ui/MainWindow.h"
#include "shell/ui/MprisService.h"
#include "shell/ui/ResourceDrop.h"
#include "shell/ui/ScreenSaverInhibitor.h"
#include "shell/ui/SettingsDialog.h"

#include <QFileInfo>
#include <QTimer>

Application::Application(const PlayerEngineFactory &engineFactory, ServiceClient *client, QObject *parent)
    : QObject(parent)
    , m_client(client ? client : new ServiceClient(this))
    , m_session(new AccountSession(m_client, this))
    , m_playback(new PlaybackController(this))
    , m_playRequest(new PlayRequest(m_client, m_session, m_playback, this))
    , m_positions(new PlayPositionStore(QStringLiteral("PlayPosition.dat"), this))
    , m_accountPositions(new AccountPositions(m_client, m_session, m_positions, this))
    , m_playSession(new PlaySession(m_playRequest, m_playback, m_positions, this))
    , m_cast(new CastSession(m_playRequest, m_playback, m_playSession, new RendererModule(this), this))
{
    m_client->setParent(this);
    new PlaybackRecovery(m_playRequest, m_playback, this);
    m_positions->load();
    m_playRequest->setPositionStore(m_positions);
    m_playSession->setResourceSubtitles(new ResourceSubtitles(m_client, this));
    // A resource about to be played: what the account knows of its files comes in first.
    connect(m_playRequest, &PlayRequest::filesListed, m_accountPositions, &AccountPositions::fetch);
    AnnouncementList announcements;
    announcements.load(m_client->call(Endpoints::announcements())); // a failure shows none
    m_window = std::make_unique<MainWindow>(m_playback, engineFactory, announcements);
    defineDialogs();
    wire();
}

Application::~Application()
{
    m_playSession->saveNow(); // while the engine still knows the position
    m_window.reset();
}

QWidget *Application::mainWidget() const
{
    return m_window.get();
}

PlayerEngine *Application::engine() const
{
    m_playback->ensureEngine();
    return m_playback->engine();
}

void Application::defineDialogs()
{
    MainWindow *window = m_window.get();
    m_dialogs.define(&AccountFunctionDialog::staticMetaObject, [this, window] {
        auto *dialog = new AccountFunctionDialog(m_session, window);
        // The login page's close button ends the program, once the dialog is gone.
        connect(dialog, &AccountFunctionDialog::quitRequested, window,
                [window] { QTimer::singleShot(100, window, &QWidget::close); });
        return dialog;
    });
    m_dialogs.define(
        &BTResourceFunctionDialog::staticMetaObject,
        [this, window] {
            auto *dialog = new BTResourceFunctionDialog(m_client, m_session, m_playback, m_playRequest, window);
            dialog->setPositionStore(m_positions);
            return dialog;
        },
        [](MoveableDialog *dialog) { static_cast<BTResourceFunctionDialog *>(dialog)->loadLists(); });
    m_dialogs.define(&VIPTipDialog::staticMetaObject, [window] { return new VIPTipDialog(window); });
    m_dialogs.define(&SubtitleSettingDialog::staticMetaObject,
                     [this, window] { return new SubtitleSettingDialog(m_playback->subtitles(), window); });
    m_dialogs.define(&SettingsDialog::staticMetaObject, [this, window] {
        auto *dialog = new SettingsDialog(m_playback->pictureSound(), window);
        connect(dialog, &SettingsDialog::clipboardMonitorSwitched, this,
                [](bool on) { BTResourceFunctionDialog::instance()->setClipboardMonitorEnabled(on); });
        return dialog;
    });
}

void Application::wire()
{
    const auto showResourcePage = [](const QString &page) { BTResourceFunctionDialog::instance()->showPage(page); };
    connect(m_window.get(), &MainWindow::resourcePageRequested, this, showResourcePage);
    connect(new BossKey(m_window.get()), &BossKey::activated, this, &Application::toggleHidden);
    auto *menu = new ContextMenu(m_playback->pictureSound(), m_window.get());
    connect(m_window.get(), &MainWindow::contextMenuRequested, menu, &ContextMenu::open);
    connect(menu, &ContextMenu::resourcePageRequested, this, showResourcePage);
    menu->setPlaySession(m_playSession);
    auto *castMenu = new CastMenu(m_cast, m_window.get());
    menu->setCastMenu(castMenu);
    connect(m_window.get(), &MainWindow::castMenuRequested, castMenu, &CastMenu::popUpAbove);
    connect(m_cast, &CastSession::notice, m_window.get(), &MainWindow::showCastNotice);
    connect(m_window.get(), &MainWindow::castNoticeLinkChosen, m_cast, &CastSession::followNoticeLink);
    connect(m_playSession, &PlaySession::notice, m_window.get(), &MainWindow::showVideoNotice);
    connect(m_window.get(), &MainWindow::startOverRequested, m_playSession, &PlaySession::startOver);
    connect(m_window.get(), &MainWindow::screenshotRequested, m_playSession, [this] { m_playSession->takeScreenshot(); });
    const auto showIfHidden = [](QWidget *dialog) {
        if (dialog->isHidden())
            dialog->show();
    };
    connect(menu, &ContextMenu::settingsRequested, this, [showIfHidden] { showIfHidden(SettingsDialog::instance()); });
    connect(menu, &ContextMenu::subtitlesRequested, this,
            [showIfHidden] { showIfHidden(SubtitleSettingDialog::instance()); });
    connect(m_window.get(), &MainWindow::accountPageRequested, this,
            [] { AccountFunctionDialog::instance()->showMiscPage(); });
    // The clipboard monitor follows the login: on at login when the setting says so, off at logout.
    connect(m_session, &AccountSession::loginChanged, this, [this](bool loggedIn) {
        BTResourceFunctionDialog::instance()->setClipboardMonitorEnabled(loggedIn && m_session->wantsClipboardMonitor());
    });
    wireDesktop();
}

void Application::wireDesktop()
{
    MainWindow *window = m_window.get();
    connect(new ResourceDrop(window), &ResourceDrop::dropped, this, &Application::openResourceInput);
    connect(m_session, &AccountSession::loginChanged, this, &Application::deliverPendingInput);
    connect(m_playRequest, &PlayRequest::busyChanged, this, &Application::deliverPendingInput);

    auto *inhibitor = new ScreenSaverInhibitor(this);
    connect(m_playback, &PlaybackController::playingChanged, inhibitor, &ScreenSaverInhibitor::setInhibited);

    auto *mpris = new MprisService(m_playback, this);
    mpris->registerOnBus(); // without a session bus the program simply has no media controls
    connect(mpris, &MprisService::raiseRequested, this, &Application::raiseMainWindow);
    connect(mpris, &MprisService::quitRequested, window, &QWidget::close);
    connect(mpris, &MprisService::openRequested, this, &Application::openResourceInput);

    // The playing file's name in the title (and so in the task bar), the program's name otherwise.
    window->setWindowTitle(QStringLiteral("Pelorin"));
    connect(m_playRequest, &PlayRequest::fileOpened, this, [window, mpris](const BTResourceFile &file) {
        const QString name = QFileInfo(file.fileName).fileName();
        window->setWindowTitle(name.isEmpty() ? QStringLiteral("Pelorin") : name + QStringLiteral(" - Pelorin"));
        mpris->setTitle(name);
    });
    connect(m_playback, &PlaybackController::closed, window,
            [window] { window->setWindowTitle(QStringLiteral("Pelorin")); });
}

void Application::openResourceInput(const QString &input)
{
    if (input.isEmpty())
        return;
    raiseMainWindow();
    m_pendingInput = input; // a newer one replaces one still waiting
    // Not inside the caller: the parse waits for the service in a nested event loop.
    QTimer::singleShot(0, this, &Application::deliverPendingInput);
}

void Application::deliverPendingInput()
{
    if (m_pendingInput.isEmpty() || !m_session->loggedIn() || m_playRequest->isBusy())
        return;
    const QString input = m_pendingInput;
    m_pendingInput.clear();
    BTResourceFunctionDialog::instance()->parseInput(input);
}

void Application::raiseMainWindow()
{
    QWidget *window = m_window.get();
    if (window->isMinimized())
        window->showNormal();
    window->show();
    window->raise();
    window->activateWindow();
}

void Application::toggleHidden()
{
    QWidget *window = m_window.get();
    if (window->isHidden()) {
        window->show();
        m_playback->play(); // even if it was paused before
    } else {
        window->hide();
        m_playback->pause();
    }
}

void Application::logIn()
{
    AccountFunctionDialog *account = AccountFunctionDialog::instance();
    account->restoreRememberedLogin();
    if (!m_session->loggedIn())
        account->exec();
}
