#include "PlayerSession.h"

#include "account/ui/AccountFunctionDialog.h"
#include "app/AppConfig.h"
#include "app/ui/Application.h"
#include "app/ui/StartUp.h"
#include "player/ui/MpvEngineFactory.h"
#include "player/ui/MpvVideoWidget.h"
#include "player/PlayerEngine.h"
#include "resources/ui/BTResourceFunctionDialog.h"
#include "resources/ui/BTResourceParseResultListItemWidget.h"

#include <QApplication>
#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>

void PlayerSession::prepareApplication()
{
    StartUp::prepareApplication();
}

bool PlayerSession::waitFor(const std::function<bool()> &done, int timeoutMs)
{
    // Sleeps between events: processEvents() with a time limit never waits, and a loop that polls
    // takes a core from the threads being measured. The tick bounds the wait for a condition that
    // another thread makes true and for the time limit.
    QElapsedTimer timer;
    timer.start();
    QTimer tick;
    tick.start(5);
    while (!done()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return true;
}

PlayerSession::PlayerSession(const QString &serviceHost)
{
    // Config.ini, the play records and the cache live in the working directory.
    QDir::setCurrent(m_dir.path());
    AppConfig::setServiceHost(serviceHost);
    AppConfig::setFirstLaunch(0);
    // The account page would otherwise pop up after the first log-in of the day.
    AppConfig::setLastAutoShowDayOfYear(uint(QDate::currentDate().dayOfYear()));
    AppConfig::setDownloadDirectory(QDir::toNativeSeparators(m_dir.path() + QStringLiteral("/downloads")));
    QDir().mkpath(m_dir.path() + QStringLiteral("/downloads"));

    m_app = std::make_unique<Application>(&MpvEngineFactory::create);
    m_app->mainWidget()->show();
    waitFor([] { return false; }, 200);
    m_app->engine(); // as the program makes it once its window is up
}

PlayerSession::~PlayerSession()
{
    if (engine() && engine()->state() != PlayerEngine::Ready)
        stop();
    m_app.reset();
}

QWidget *PlayerSession::window() const
{
    return m_app ? m_app->mainWidget() : nullptr;
}

BTResourceFunctionDialog *PlayerSession::dialog() const
{
    return BTResourceFunctionDialog::instance();
}

PlayerEngine *PlayerSession::engine() const
{
    return m_app ? m_app->engine() : nullptr;
}

MpvVideoWidget *PlayerSession::video() const
{
    return window() ? window()->findChild<MpvVideoWidget *>() : nullptr;
}

bool PlayerSession::login(const QString &email, const QString &password)
{
    AccountFunctionDialog *account = AccountFunctionDialog::instance();
    account->findChild<QLineEdit *>(QStringLiteral("loginPageUsernameLineEdit"))->setText(email);
    account->findChild<QLineEdit *>(QStringLiteral("loginPagePasswordLineEdit"))->setText(password);
    account->findChild<QPushButton *>(QStringLiteral("loginPageLoginPushButton"))->click();
    return account->loggedIn();
}

QList<BTResourceParseResultListItemWidget *> PlayerSession::parse(const QString &input)
{
    BTResourceFunctionDialog *d = dialog();
    d->showPage(QStringLiteral("parsePage"));
    d->findChild<QLineEdit *>(QStringLiteral("parsePageBTResourceLineEdit"))->setText(input);
    d->findChild<QPushButton *>(QStringLiteral("parsePageParseBTResourcePushButton"))->click();
    QList<BTResourceParseResultListItemWidget *> rows;
    auto *list = d->findChild<QListWidget *>(QStringLiteral("parsePageParseResultListWidget"));
    for (int i = 0; i < list->count(); ++i) {
        if (auto *row = qobject_cast<BTResourceParseResultListItemWidget *>(list->itemWidget(list->item(i))))
            rows << row;
    }
    return rows;
}

QPushButton *PlayerSession::playButton(BTResourceParseResultListItemWidget *row)
{
    return row->findChild<QPushButton *>(QStringLiteral("playPushButton"));
}

QPushButton *PlayerSession::downloadButton(BTResourceParseResultListItemWidget *row)
{
    return row->findChild<QPushButton *>(QStringLiteral("downloadPushButton"));
}

bool PlayerSession::stop(int timeoutMs)
{
    window()->findChild<QPushButton *>(QStringLiteral("stopPlayPushButton"))->click();
    return waitFor([this] { return engine()->state() == PlayerEngine::Ready; }, timeoutMs);
}
