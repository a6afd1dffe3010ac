#include "EndToEnd.h"

#include "account/ui/AccountFunctionDialog.h"
#include "app/AppConfig.h"
#include "app/ui/Application.h"
#include "player/mpv/MpvPlayerEngine.h"
#include "resources/ui/BTResourceFunctionDialog.h"
#include "resources/ui/BTResourceParseResultListItemWidget.h"
#include "player/PlaybackController.h"

#include <QDate>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <clocale>
#include <memory>

namespace e2e {

QStringList prepareDemo(const ServiceProcess &service, QByteArray *output, int clipSeconds)
{
    QStringList magnets;
    if (service.run({QStringLiteral("demo"), QStringLiteral("--clip-seconds"), QString::number(clipSeconds)}, output) != 0)
        return magnets;
    for (const QByteArray &line : output->split('\n')) {
        if (line.startsWith("magnet:?xt=urn:btih:"))
            magnets << QString::fromUtf8(line.trimmed());
    }
    return magnets;
}

void useService(const ServiceProcess &service)
{
    AppConfig::setServiceHost(service.hostPort());
    AppConfig::setLatestRequestVideoDomainsDayOfYear(0);
    AppConfig::setLastAutoShowDayOfYear(uint(QDate::currentDate().dayOfYear()));
    AppConfig::setClipboardMonitor(0);
}

bool logInThroughDialog(const QString &name, const QString &password)
{
    AccountFunctionDialog *account = AccountFunctionDialog::instance();
    account->findChild<QLineEdit *>(QStringLiteral("loginPageUsernameLineEdit"))->setText(name);
    account->findChild<QLineEdit *>(QStringLiteral("loginPagePasswordLineEdit"))->setText(password);
    account->findChild<QPushButton *>(QStringLiteral("loginPageLoginPushButton"))->click();
    return account->loggedIn();
}

std::unique_ptr<Application> startLoggedIn(MpvPlayerEngine **engine, const QString &name, const QString &password)
{
    std::setlocale(LC_NUMERIC, "C"); // libmpv refuses to start unless numbers are formatted the C way
    auto app = std::make_unique<Application>([engine](QWidget *playPage) {
        return *engine = new MpvPlayerEngine(MpvPlayerEngine::NoOutput, playPage);
    });
    if (!app->engine() || !(*engine)->isValid()) {
        qWarning("no engine: %s", app->engine() ? qPrintable((*engine)->errorString()) : "none made");
        return nullptr;
    }
    if (!logInThroughDialog(name, password))
        return nullptr;
    QWidget *window = app->mainWidget();
    window->move(40, 40);
    window->show();
    return QTest::qWaitForWindowExposed(window) ? std::move(app) : nullptr;
}

QList<BTResourceParseResultListItemWidget *> parseRows(BTResourceFunctionDialog *dialog)
{
    return rowsOf<BTResourceParseResultListItemWidget>(
        dialog->findChild<QListWidget *>(QStringLiteral("parsePageParseResultListWidget")));
}

bool playRow(PlaybackController *playback, BTResourceFunctionDialog *dialog, int row)
{
    BTResourceParseResultListItemWidget *widget = parseRows(dialog).value(row);
    return widget && clickPlay(playback, dialog, widget->findChild<QPushButton *>(QStringLiteral("playPushButton")));
}

bool clickPlay(PlaybackController *playback, BTResourceFunctionDialog *dialog, QPushButton *button)
{
    if (!button || !button->isEnabled())
        return false;
    QSignalSpy opened(playback, &PlaybackController::opened);

    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, dialog, [dialog] {
        qWarning("the play path is still waiting; pressing 中止");
        if (dialog->isBusy())
            dialog->findChild<QPushButton *>(QStringLiteral("parsePageParseBTResourcePushButton"))->click();
    });
    watchdog.start(kStepTimeoutMs);

    auto finished = std::make_shared<bool>(false);
    QTimer::singleShot(0, button, [button, finished] {
        button->click();
        *finished = true;
    });
    if (!QTest::qWaitFor([&] { return *finished && !dialog->isBusy(); }, 2 * kStepTimeoutMs))
        return false;
    return opened.count() == 1;
}

bool playNamed(PlaybackController *playback, const QString &magnet, const QString &name)
{
    BTResourceFunctionDialog *dialog = BTResourceFunctionDialog::instance();
    dialog->showPage(QStringLiteral("parsePage"));
    auto *line = dialog->findChild<QLineEdit *>(QStringLiteral("parsePageBTResourceLineEdit"));
    line->clear();
    line->setText(magnet);
    const QList<BTResourceParseResultListItemWidget *> rows = parseRows(dialog);
    for (int i = 0; i < rows.size(); ++i) {
        if (rows[i]->file().fileName.contains(name)) {
            const bool opened = playRow(playback, dialog, i);
            dialog->hide();
            return opened;
        }
    }
    qWarning("no row named %s", qPrintable(name));
    return false;
}

} // namespace e2e
