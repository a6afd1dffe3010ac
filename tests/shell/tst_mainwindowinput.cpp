// The main window and its dialogs driven as a user drives them: a window manager, and pointer and
// key input sent through the X server by another program. Runs under tools/on-x-server.
#include "ProgramCopy.h"
#include "DesktopInput.h"
#include "Eventually.h"
#include "MainWindowFixture.h"
#include "MenuInput.h"

#include "account/AccountSession.h"
#include "account/ui/AccountFunctionDialog.h"
#include "app/AppConfig.h"
#include "app/InstanceChannel.h"
#include "app/ui/GuiResources.h"
#include "app/ui/StartUp.h"
#include "notices/ui/ReportDialog.h"
#include "resources/ui/BTResourceFunctionDialog.h"
#include "shell/ui/BossKey.h"
#include "shell/ui/SettingsDialog.h"

#include <QAbstractItemView>
#include <QClipboard>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPointer>
#include <QProcess>
#include <QRadioButton>
#include <QScopeGuard>
#include <QPushButton>
#include <QSlider>
#include <QStackedWidget>
#include <QtTest>

#include <cstdio>
#include <functional>

class TestMainWindowInput : public MainWindowFixture
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup()
    {
        closeWindow();
        QVERIFY2(!m_unansweredModal, "a modal box was left open");
    }

    void keysWorkWhereverTheUserClicked();
    void titleBarDragsTheWindow();
    void resizeAndDialogDragGoThroughTheWindowManager();
    void enterSubmitsTheAccountForms();
    void parsePageEngineListStaysReadableAndAbortEndsAWaitingParse();
    void lostFilmStaysUntilStopped();
    void secondCopyBringsTheWindowForwardAndWarnsAboveIt();
    void dialogsOpenCentredAboveATopmostWindow();
    void bossKeyWorksFromAnotherApplication();
    void rightClickMenuChoosesAnOptionAndOpensSettings();
    void escClosesDialogsAndEnterPressesTheirDefault();
    void clearingAnUnreadableRecordFileKeepsItAside();

private:
    QPoint global(const QWidget *widget, const QPoint &local) const { return widget->mapToGlobal(local); }
    // A point of the widget where none of its children is.
    QPoint emptyPointOf(QWidget *widget) const;
    void showPlaying();
    bool above(const QWidget *upper, const QWidget *lower) const;
    bool makeTopmost() // by its title-bar button
    {
        return m_input.click(global(child<QPushButton>("toggleTopmostPushButton"), {5, 5}))
            && QTest::qWaitFor([this] { return m_window->windowFlags() & Qt::WindowStaysOnTopHint && m_window->isVisible(); });
    }
    bool keyDoes(const char *key, const std::function<bool()> &done)
    {
        return m_input.key(QLatin1String(key)) && QTest::qWaitFor(done, 5000);
    }
    // From inside the modal box's own event loop: the key that closes it, once the box has the
    // focus (keys go where the focus is), again if the first did not arrive.
    bool answerModal(const QString &key);
    // Right-clicks the video and, from inside the menu's own event loop, clicks the entry at that
    // path (a submenu's title, then its entry). True once the menu has closed on the click.
    bool chooseFromMenu(const QStringList &path);

    DesktopInput m_input;
    QTimer m_modalWatchdog;
    QPointer<QWidget> m_modalSeen;
    bool m_unansweredModal = false;
};

void TestMainWindowInput::init()
{
    resetService();
    m_unansweredModal = false;
    // A modal box that input failed to close would block the whole run: it fails the test instead.
    // Open at two ticks in a row: open for at least 15 s.
    m_modalWatchdog.disconnect();
    m_modalWatchdog.setInterval(15000);
    m_modalSeen = nullptr;
    connect(&m_modalWatchdog, &QTimer::timeout, this, [this] {
        QWidget *modal = QApplication::activeModalWidget();
        if (modal && modal == m_modalSeen) {
            qWarning("closing a modal box nobody answered: %s", qPrintable(modal->windowTitle()));
            m_unansweredModal = true;
            modal->close();
        }
        m_modalSeen = modal;
    });
    m_modalWatchdog.start();
}

void TestMainWindowInput::initTestCase()
{
    startService();
    QVERIFY2(m_input.start(), "needs an X display (tools/on-x-server) and openbox");
}

QPoint TestMainWindowInput::emptyPointOf(QWidget *widget) const
{
    // From the middle outwards, clear of the window's resize edges.
    for (int d = 0; d < widget->width() / 2 - 20; d += 3) {
        for (const int x : {widget->width() / 2 + d, widget->width() / 2 - d}) {
            const QPoint p(x, widget->height() / 2);
            if (!widget->childAt(p))
                return p;
        }
    }
    return {};
}

void TestMainWindowInput::showPlaying()
{
    makeWindow();
    QTRY_VERIFY(m_window->isActiveWindow() || (m_window->activateWindow(), false));
    openMedia(600000);
    startPlaying();
    m_engine->setAutoTransitions(true);
}

bool TestMainWindowInput::above(const QWidget *upper, const QWidget *lower) const
{
    const QStringList stack = DesktopInput::stacking();
    const int u = stack.indexOf(DesktopInput::windowId(upper));
    const int l = stack.indexOf(DesktopInput::windowId(lower));
    return u >= 0 && l >= 0 && u > l;
}

bool TestMainWindowInput::answerModal(const QString &key)
{
    for (int attempt = 0; attempt < 5; ++attempt) {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal)
            return attempt > 0;
        if (!QTest::qWaitForWindowActive(modal))
            continue;
        m_input.keyLater(key);
        if (QTest::qWaitFor([modal] { return QApplication::activeModalWidget() != modal; }, 2000))
            return true;
    }
    return false;
}

void TestMainWindowInput::keysWorkWhereverTheUserClicked()
{
    showPlaying();
    auto *volume = child<QSlider>("volumeControlSlider");
    auto *progress = child<QSlider>("playProgressSlider");
    const QList<std::pair<const char *, QPoint>> targets = {
        {"video", global(m_window, m_window->rect().center())},
        {"tool bar", global(child<QWidget>("toolBarWidget"), emptyPointOf(child<QWidget>("toolBarWidget")))},
        {"title bar", global(child<QWidget>("titleBarWidget"), emptyPointOf(child<QWidget>("titleBarWidget")))},
        {"volume slider", global(volume, volume->rect().center())},
    };
    for (const auto &[name, point] : targets) {
        QVERIFY2(m_input.click(point), name);
        // A click on the video pauses after the double-click interval: let it happen first.
        QTest::qWait(QApplication::doubleClickInterval() + 100);
        if (m_engine->state() != PlayerEngine::Playing)
            m_engine->play();
        QTRY_COMPARE(m_engine->state(), int(PlayerEngine::Playing));

        const int position = progress->value(), level = volume->value();
        // Space pauses and resumes; it never presses a button of the window.
        const QList<std::pair<const char *, std::function<bool()>>> steps = {
            {"Right", [&] { return progress->value() == position + 5000; }}, {"Left", [&] { return progress->value() == position; }},
            {"Down", [&] { return volume->value() == level - 5; }},          {"Up", [&] { return volume->value() == level; }},
            {"space", [&] { return m_engine->state() == PlayerEngine::Paused; }},
            {"space", [&] { return m_engine->state() == PlayerEngine::Playing; }},
            {"m", [&] { return volume->value() == 0; }},                       {"m", [&] { return volume->value() == level; }},
        };
        for (const auto &[key, done] : steps)
            QVERIFY2(keyDoes(key, done), qPrintable(QStringLiteral("%1 after a click on the %2").arg(QLatin1String(key), QLatin1String(name))));
        QVERIFY2(m_window->isVisible() && !m_window->isMinimized() && !m_window->isMaximized(), name);
    }
    // Full screen by f or Return, left by Escape; in it the keys still reach playback.
    const int position = progress->value();
    QVERIFY(keyDoes("f", [this] { return m_window->isFullScreen(); }));
    QVERIFY(keyDoes("Escape", [this] { return !m_window->isFullScreen(); }));
    QVERIFY(keyDoes("Return", [this] { return m_window->isFullScreen(); }));
    QVERIFY(keyDoes("Right", [&] { return progress->value() == position + 5000; }));
    QVERIFY(keyDoes("Escape", [this] { return !m_window->isFullScreen() && m_window->isVisible(); }));
}

void TestMainWindowInput::titleBarDragsTheWindow()
{
    makeWindow();
    auto *title = child<QWidget>("titleBarWidget");
    // Just right of the announcement's text: nothing is drawn there.
    auto *announcement = child<QLabel>("announcementLabel");
    const QPoint besideText = announcement->mapTo(
        title, QPoint(announcement->sizeHint().width() + 20, announcement->height() / 2));
    QVERIFY(besideText.x() < child<QWidget>("newbieTutorialPushButton")->mapTo(title, QPoint()).x());
    const QPoint start = global(title, besideText);
    const QPoint before = m_window->pos();
    // Past the drag distance the window manager takes the drag over, from the press.
    QVERIFY(m_input.drag(start, start + QPoint(80, 50)));
    QTRY_COMPARE(m_window->pos(), before + QPoint(80, 50));
    QCOMPARE(DesktopInput::serverPosition(m_window), before + QPoint(80, 50));

    // The announcement's link text itself does not drag.
    const QPoint link = global(announcement, announcement->rect().center());
    QVERIFY(m_input.drag(link, link + QPoint(40, 40)));
    QTest::qWait(200);
    QCOMPARE(m_window->pos(), before + QPoint(80, 50));

    // The window manager had the button's release: a click after the drag is a click again.
    openMedia(600000);
    startPlaying();
    m_engine->setAutoTransitions(true);
    QVERIFY(m_input.click(global(m_window, m_window->rect().center())));
    QTRY_COMPARE(m_engine->state(), int(PlayerEngine::Paused));
}

void TestMainWindowInput::resizeAndDialogDragGoThroughTheWindowManager()
{
    makeWindow();
    BTResourceFunctionDialog *dialog = BTResourceFunctionDialog::instance();
    dialog->showPage(QStringLiteral("parsePage"));
    QVERIFY(QTest::qWaitForWindowExposed(dialog));
    dialog->hide();

    // From the top-left corner: the bottom-right corner stays where it was.
    const QRect before = m_window->geometry();
    const QPoint corner = global(m_window, {1, 1});
    QVERIFY(m_input.drag(corner, corner - QPoint(40, 30)));
    QTRY_COMPARE(m_window->geometry(), QRect(before.topLeft() - QPoint(40, 30), before.bottomRight()));

    // A link copied elsewhere brings the dialog back over the window where it is now.
    dialog->setClipboardMonitorEnabled(true);
    QGuiApplication::clipboard()->setText(QStringLiteral("magnet:?xt=urn:btih:0123456789abcdef0123456789abcdef01234567"));
    const auto centred = [&] {
        return dialog->isVisible() && (dialog->frameGeometry().center() - m_window->frameGeometry().center()).manhattanLength() <= 2;
    };
    QTRY_VERIFY(centred());
    dialog->setClipboardMonitorEnabled(false);

    // A frameless dialog is dragged where no control takes the press.
    const QPoint grip = DesktopInput::pressThroughPoint(dialog);
    QVERIFY(!grip.isNull());
    const QPoint at = dialog->pos();
    QVERIFY(m_input.drag(global(dialog, grip), global(dialog, grip) + QPoint(60, 40)));
    QTRY_COMPARE(dialog->pos(), at + QPoint(60, 40));
    QCOMPARE(DesktopInput::serverPosition(dialog), at + QPoint(60, 40));
}

void TestMainWindowInput::enterSubmitsTheAccountForms()
{
    makeWindow();
    m_server.route("do=login", ScriptedResponse::json(R"({"statu":1,"data":{"isvip":0,"issvip":"false"}})"));
    m_server.route("do=forgetpwd", ScriptedResponse::json(R"({"statu":-1,"msg":"no such account"})"));
    AppConfig::setLastAutoShowDayOfYear(uint(QDate::currentDate().dayOfYear()));
    AccountFunctionDialog *account = AccountFunctionDialog::instance();
    account->show();
    QVERIFY(QTest::qWaitForWindowExposed(account));
    const auto typeInto = [this, account](const char *field, const char *text) {
        return m_input.click(global(account->findChild<QLineEdit *>(QLatin1String(field)), {10, 10}))
            && m_input.type(QLatin1String(text));
    };
    QVERIFY(typeInto("loginPageUsernameLineEdit", "me@x.test"));
    QVERIFY(typeInto("loginPagePasswordLineEdit", "secret"));
    QVERIFY(keyDoes("Return", [&] { return m_app->session()->loggedIn(); }));
    QCOMPARE(m_server.requestsMatching("do=login").size(), 1); // once, not also by a default button

    // The other forms answer Enter too: the retrieve page asks the service at once.
    account->show();
    account->findChild<QPushButton *>(QStringLiteral("loginPageForgetPasswordPushButton"))->click();
    QVERIFY(typeInto("retrievePasswordPageEmailLineEdit", "me@x.test"));
    // The failure message is modal: it is answered from its own event loop, by Enter as well.
    bool answered = false;
    whenTrue(this, [] { return QApplication::activeModalWidget() != nullptr; },
             [this, &answered] { answered = answerModal(QStringLiteral("Return")); });
    QVERIFY(m_input.key(QStringLiteral("Return")));
    QTRY_COMPARE(m_server.requestsMatching("do=forgetpwd").size(), 1);
    QTRY_VERIFY(answered && !QApplication::activeModalWidget());
}

void TestMainWindowInput::parsePageEngineListStaysReadableAndAbortEndsAWaitingParse()
{
    makeWindow();
    m_server.route("do=getNewHashFileList", ScriptedResponse::hang());
    BTResourceFunctionDialog *dialog = BTResourceFunctionDialog::instance();
    dialog->showPage(QStringLiteral("parsePage"));
    QVERIFY(QTest::qWaitForWindowExposed(dialog));
    auto *box = dialog->findChild<QComboBox *>(QStringLiteral("parsePageEngineComboBox"));
    QVERIFY(m_input.click(global(box, box->rect().center())));
    QAbstractItemView *list = box->view();
    QTRY_VERIFY(list->isVisible());
    const int highlighted = box->currentIndex() + 2;
    QVERIFY(m_input.key(QStringLiteral("Down")));
    QVERIFY(keyDoes("Down", [&] { return list->currentIndex().row() == highlighted; }));
    // The highlighted row shows its text: two clearly different colours inside it (clear of a
    // focus frame around it).
    const QImage image = list->viewport()->grab(list->visualRect(list->currentIndex()).adjusted(4, 3, -4, -3)).toImage();
    QMap<QRgb, int> counts;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            ++counts[image.pixel(x, y)];
    const QRgb background = std::max_element(counts.begin(), counts.end()).key();
    int text = 0;
    for (auto it = counts.begin(); it != counts.end(); ++it)
        text += qAbs(qGray(it.key()) - qGray(background)) > 80 ? it.value() : 0;
    QVERIFY2(text > 20, qPrintable(QStringLiteral("%1 text pixels on %2").arg(text).arg(background, 0, 16)));
    QVERIFY(keyDoes("Escape", [list] { return !list->isVisible(); }));

    auto *input = dialog->findChild<QLineEdit *>(QStringLiteral("parsePageBTResourceLineEdit"));
    auto *parse = dialog->findChild<QPushButton *>(QStringLiteral("parsePageParseBTResourcePushButton"));
    auto *state = dialog->findChild<QLabel *>(QStringLiteral("parsePageParseStateLabel"));
    input->clear();
    // The parse waits in a local event loop: the press on "中止" is sent from there.
    whenTrue(
        this, [&] { return parse->text() == QStringLiteral("中止") && !m_server.requestsMatching("do=getNewHashFileList").isEmpty(); },
        [&] { m_input.clickLater(global(parse, parse->rect().center())); });
    QVERIFY(m_input.click(global(input, input->rect().center())));
    QVERIFY(m_input.type(QStringLiteral("0123456789abcdef0123456789abcdef01234567")));
    QTRY_VERIFY(!m_server.requestsMatching("do=getNewHashFileList").isEmpty());
    QTRY_COMPARE(parse->text(), QStringLiteral("解析"));
    QVERIFY(!dialog->isBusy());
    QVERIFY(state->text().isEmpty());
    QVERIFY(parse->isEnabled() && input->isEnabled());
    QCOMPARE(m_engine->callCount(QStringLiteral("close")), 0);
}

void TestMainWindowInput::lostFilmStaysUntilStopped()
{
    showPlaying();
    auto *pages = child<QStackedWidget>("contentStackedWidget");
    QWidget *playPage = child<QWidget>("playPage");
    QCOMPARE(pages->currentWidget(), playPage);
    // The film ends by itself far from its end: its host went away.
    m_engine->emitStateChange(PlayerEngine::Closing);
    m_engine->emitStateChange(PlayerEngine::Ready);
    QCOMPARE(pages->currentWidget(), playPage);
    QVERIFY(m_app->playback()->isConnectionLost());
    QVERIFY(child<QLabel>("playStateLabel")->text().startsWith(QStringLiteral("网络连接中断")));
    // The stop button gives it up: back to the start page.
    auto *stop = child<QPushButton>("stopPlayPushButton");
    QTRY_VERIFY(stop->isVisible());
    QVERIFY(m_input.click(global(stop, stop->rect().center())));
    QTRY_COMPARE(pages->currentWidget(), child<QWidget>("normalPage"));
    QVERIFY(!m_app->playback()->isConnectionLost());
}

void TestMainWindowInput::secondCopyBringsTheWindowForwardAndWarnsAboveIt()
{
    QTemporaryDir lockDir;
    StartUp running(lockDir.path());
    int status = 0;
    QVERIFY(running.ensureSingleInstance(&status));
    makeWindow();
    connect(running.instanceChannel(), &InstanceChannel::raiseRequested, m_app.get(), &Application::raiseMainWindow);
    // Another program's window covers the player.
    QWidget cover;
    cover.setGeometry(m_window->geometry());
    cover.show();
    QVERIFY(QTest::qWaitForWindowExposed(&cover));
    QTRY_VERIFY(above(&cover, m_window));

    ProgramCopy copy(lockDir.path(), QStringLiteral("xcb"), m_dir.path());
    // Each copy's warning opens above the window, also once it is topmost.
    for (const bool topmost : {false, true}) {
        if (topmost)
            QVERIFY(makeTopmost());
        const QStringList before = DesktopInput::stacking();
        copy.start(QStringLiteral(PELORIN_PLAYER_EXECUTABLE), QStringList());
        QVERIFY(copy.waitForStarted(5000));
        QTRY_VERIFY_WITH_TIMEOUT(above(m_window, &cover), 10000);
        QTRY_VERIFY_WITH_TIMEOUT([&] {
            const QStringList stack = DesktopInput::stacking();
            const int main = stack.indexOf(DesktopInput::windowId(m_window));
            return main >= 0 && !before.contains(stack.last()) && stack.indexOf(stack.last()) > main;
        }(), 10000);
        QVERIFY(copy.state() == QProcess::Running); // the warning waits for the user
        copy.kill();
        copy.waitForFinished();
    }
}

void TestMainWindowInput::dialogsOpenCentredAboveATopmostWindow()
{
    makeWindow();
    // The same native window, where it was: nothing for the window manager to place anew.
    const QString native = DesktopInput::windowId(m_window);
    const QPoint at = DesktopInput::serverPosition(m_window);
    QVERIFY(makeTopmost());
    QCOMPARE(DesktopInput::windowId(m_window), native);
    QCOMPARE(DesktopInput::serverPosition(m_window), at);
    const auto centredAbove = [this](QWidget *dialog) {
        const QPoint offset = dialog->frameGeometry().center() - m_window->frameGeometry().center();
        // Within the window manager's frame of a framed dialog.
        return dialog->isVisible() && offset.manhattanLength() <= 30 && above(dialog, m_window);
    };

    QVERIFY(m_input.click(global(child<QPushButton>("normalPageOpenURLPushButton"), {10, 10})));
    BTResourceFunctionDialog *resources = BTResourceFunctionDialog::instance();
    QTRY_VERIFY_WITH_TIMEOUT(centredAbove(resources), 5000);

    // A dialog of that dialog (modal, framed by the window manager) too.
    auto *input = resources->findChild<QLineEdit *>(QStringLiteral("parsePageBTResourceLineEdit"));
    input->setText(QStringLiteral("0123456789abcdef0123456789abcdef01234567"));
    bool seen = false, placed = false;
    whenTrue(this, [] { return QApplication::activeModalWidget() != nullptr; }, [&] {
        QWidget *report = QApplication::activeModalWidget();
        placed = QTest::qWaitFor([&] { return centredAbove(report); }, 5000);
        seen = answerModal(QStringLiteral("Escape"));
    });
    QVERIFY(m_input.click(global(resources->findChild<QPushButton *>(QStringLiteral("parsePageReportPushButton")), {5, 5})));
    QTRY_VERIFY(seen && !QApplication::activeModalWidget());
    QVERIFY(placed);
}

void TestMainWindowInput::bossKeyWorksFromAnotherApplication()
{
    showPlaying();
    QVERIFY(m_window->findChild<BossKey *>()->isGlobal());
    // Another application has the focus.
    QProcess other;
    other.start(QStringLiteral("xmessage"), {QStringLiteral("-geometry"), QStringLiteral("300x80+900+600"),
                                              QStringLiteral("another application")});
    const auto stopOther = qScopeGuard([&other] {
        other.kill();
        other.waitForFinished();
    });
    QVERIFY(other.waitForStarted());
    QTRY_COMPARE(DesktopInput::stacking().size(), 2);
    QVERIFY(m_input.click({1000, 620}));
    QTRY_VERIFY(!m_window->isActiveWindow());

    const auto hideAndShow = [this] {
        return keyDoes("ctrl+d", [this] { return !m_window->isVisible() && m_engine->state() == PlayerEngine::Paused; })
            && keyDoes("ctrl+d", [this] { return m_window->isVisible() && m_engine->state() == PlayerEngine::Playing; });
    };
    QVERIFY(hideAndShow());
    // Paused before it was hidden: it plays when it comes back. NumLock on changes nothing.
    m_engine->pause();
    QTRY_COMPARE(m_engine->state(), int(PlayerEngine::Paused));
    QVERIFY(m_input.key(QStringLiteral("Num_Lock")));
    QVERIFY(hideAndShow());
    QVERIFY(m_input.key(QStringLiteral("Num_Lock")));

    // Held by another program: no grab and no message; that program gets the key.
    closeWindow();
    QProcess holder;
    holder.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--hold-boss-key")});
    const auto stopHolder = qScopeGuard([&holder] {
        holder.kill();
        holder.waitForFinished();
    });
    QVERIFY(holder.waitForReadyRead(10000));
    QCOMPARE(holder.readAll().trimmed(), QByteArray("held"));
    makeWindow();
    QVERIFY(!m_window->findChild<BossKey *>()->isGlobal());
    QVERIFY(m_input.key(QStringLiteral("ctrl+d")));
    QByteArray heard;
    QTRY_VERIFY((holder.waitForReadyRead(50), heard += holder.readAll()).contains("pressed"));
    QVERIFY(m_window->isVisible());
    QVERIFY(!QApplication::activeModalWidget());
}

bool TestMainWindowInput::chooseFromMenu(const QStringList &path)
{
    const QPoint video = global(m_window, m_window->rect().center());
    const MenuUse use = useContextMenu(&m_input, this, video, path);
    return use.chosen && (use.openedAt - video).manhattanLength() <= 2;
}

void TestMainWindowInput::rightClickMenuChoosesAnOptionAndOpensSettings()
{
    AppConfig::setVideoAspectRatio(QStringLiteral("default"));
    showPlaying();
    m_engine->clearCalls();
    QVERIFY(chooseFromMenu({QStringLiteral("视频比例"), QStringLiteral("4 : 3")}));
    QTRY_VERIFY(m_engine->configWrites().contains(QStringLiteral("204=4;3")));
    QCOMPARE(AppConfig::videoAspectRatio(), QStringLiteral("4:3"));

    QVERIFY(!m_window->findChild<SettingsDialog *>());
    QVERIFY(chooseFromMenu({QStringLiteral("软件设置")}));
    QTRY_VERIFY(m_window->findChild<SettingsDialog *>() && m_window->findChild<SettingsDialog *>()->isVisible());
    auto *settings = m_window->findChild<SettingsDialog *>();
    QVERIFY(!settings->isMinimized());

    // "硬件解码", on by default, switches the playing film's decoder at once.
    auto *hardware = settings->findChild<QCheckBox *>(QStringLiteral("hardwareDecodingCheckBox"));
    QVERIFY(hardware->isChecked());
    m_engine->clearCalls();
    // Clicked once the window manager has put it where Qt thinks it is.
    QTRY_COMPARE(DesktopInput::serverPosition(settings), settings->mapToGlobal(QPoint()));
    QVERIFY(m_input.click(hardware->mapToGlobal(QPoint(6, hardware->height() / 2))));
    QTRY_VERIFY(m_engine->configWrites().contains(QStringLiteral("2301=0")));
    QCOMPARE(AppConfig::hardwareDecoding(), 0u);
    QVERIFY(m_input.click(hardware->mapToGlobal(QPoint(6, hardware->height() / 2))));
    QTRY_VERIFY(m_engine->configWrites().contains(QStringLiteral("2301=1")));
    QCOMPARE(AppConfig::hardwareDecoding(), 1u);
}

void TestMainWindowInput::escClosesDialogsAndEnterPressesTheirDefault()
{
    showPlaying();
    // Esc in the dialog itself.
    QVERIFY(chooseFromMenu({QStringLiteral("软件设置")}));
    auto *settings = m_window->findChild<SettingsDialog *>();
    QTRY_VERIFY(settings && settings->isVisible() && settings->isActiveWindow());
    QVERIFY(keyDoes("Escape", [settings] { return settings->isHidden(); }));

    // Left open while the user went back to the video: the window's Esc closes it first, in full
    // screen too, and only the next one leaves full screen.
    QVERIFY(m_input.key(QStringLiteral("f")));
    QTRY_VERIFY(m_window->isFullScreen());
    QVERIFY(chooseFromMenu({QStringLiteral("字幕设置")}));
    QWidget *subtitles = m_window->findChild<QDialog *>(QStringLiteral("SubtitleSettingDialog"));
    QTRY_VERIFY(subtitles && subtitles->isVisible());
    QTest::qWait(QApplication::doubleClickInterval() + 100);
    QVERIFY(m_input.click(global(m_window, {m_window->width() / 2, 30})));
    QTRY_VERIFY(m_window->isActiveWindow());
    QVERIFY(keyDoes("Escape", [subtitles] { return subtitles->isHidden(); }));
    QVERIFY(m_window->isFullScreen());
    QVERIFY(keyDoes("Escape", [this] { return !m_window->isFullScreen(); }));

    // A page with a return button goes back; the login page only goes away (the program keeps
    // running), never through its close button, which ends the program.
    auto *account = AccountFunctionDialog::instance();
    auto *pages = account->findChild<QStackedWidget *>(QStringLiteral("clientStackedWidget"));
    const auto showPage = [&](const char *name) {
        pages->setCurrentWidget(account->findChild<QWidget *>(QLatin1String(name)));
        account->show();
        return QTest::qWaitFor([account] { return account->isActiveWindow(); });
    };
    QVERIFY(showPage("modifyPasswordPage"));
    QVERIFY(keyDoes("Escape", [pages] { return pages->currentWidget()->objectName() == QLatin1String("miscPage"); }));
    QVERIFY(keyDoes("Escape", [account] { return account->isHidden(); }));
    QVERIFY(showPage("loginPage"));
    QVERIFY(keyDoes("Escape", [account] { return account->isHidden(); }));
    QTest::qWait(300);
    QVERIFY(m_window->isVisible());

    // Enter presses the default button, also from the dialog's text field.
    m_server.clearRequests();
    ReportDialog report(m_app->serviceClient(), m_window);
    report.setHash(QStringLiteral("0123456789abcdef0123456789abcdef01234567"));
    bool sent = false;
    QTimer::singleShot(0, &report, [&] {
        if (!QTest::qWaitForWindowActive(&report))
            return report.reject();
        auto *radio = report.findChild<QRadioButton *>(QStringLiteral("xueXingRadioButton"));
        if (!m_input.click(radio->mapToGlobal(QPoint(6, radio->height() / 2))) || !QTest::qWaitFor([radio] { return radio->isChecked(); }))
            return report.reject();
        report.findChild<QLineEdit *>(QStringLiteral("hashLineEdit"))->setFocus();
        m_input.keyLater(QStringLiteral("Return"));
        sent = true;
    });
    QTimer::singleShot(15000, &report, &QDialog::reject); // in case the key never arrives
    report.exec();
    QVERIFY(sent);
    QTRY_VERIFY(!m_server.requests().isEmpty());
    QVERIFY(m_server.requests().constLast().parameters().contains("do=report"));
}

void TestMainWindowInput::clearingAnUnreadableRecordFileKeepsItAside()
{
    QFile records(QStringLiteral("PlayRecord.dat"));
    const auto removeFiles = qScopeGuard([] {
        QFile::remove(QStringLiteral("PlayRecord.dat"));
        QFile::remove(QStringLiteral("PlayRecord.dat.bad"));
    });
    QVERIFY(records.open(QIODevice::WriteOnly) && records.write("{not json") == 9);
    records.close();
    makeWindow();
    QVERIFY(m_input.click(global(child<QPushButton>("playRecordPushButton"), {8, 8})));
    BTResourceFunctionDialog *dialog = BTResourceFunctionDialog::instance();
    auto *clear = dialog->findChild<QPushButton *>(QStringLiteral("playRecordPageClearRecordListPushButton"));
    QTRY_VERIFY(clear->isVisible() && dialog->isActiveWindow());
    QVERIFY(m_input.click(global(clear, clear->rect().center())));
    QTRY_VERIFY(QFile::exists(QStringLiteral("PlayRecord.dat.bad")));
    QVERIFY(records.open(QIODevice::ReadOnly));
    QCOMPARE(records.readAll().simplified(), QByteArray("[ ]"));
    QFile aside(QStringLiteral("PlayRecord.dat.bad"));
    QVERIFY(aside.open(QIODevice::ReadOnly) && aside.readAll() == "{not json");
}

// "--hold-boss-key": another program that holds Ctrl+D and says when it gets it.
int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    initGuiResources();
    if (app.arguments().contains(QStringLiteral("--hold-boss-key"))) {
        QWidget window;
        BossKey key(&window);
        QObject::connect(&key, &BossKey::activated, [] { std::puts("pressed"); std::fflush(stdout); });
        std::puts(key.isGlobal() ? "held" : "not held");
        std::fflush(stdout);
        return key.isGlobal() ? app.exec() : 1;
    }
    TestMainWindowInput test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_mainwindowinput.moc"

