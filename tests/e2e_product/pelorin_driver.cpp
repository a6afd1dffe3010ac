// The whole program, started as main() starts it, with a user's steps driven in the same process
// against the real engine and a real service. Run under an X server (Xvfb):
//   pelorin-e2e-driver --script first-run|second-run|second-copy|demo [--service HOST:PORT]
//                      [--user NAME --password PASSWORD --magnet LINK] [--download-dir DIR]
//                      [--screenshot FILE] [--play-seconds N]
// Prints "ok <step>" per step and "done" at the end; a step that is not reached in time prints
// "FAIL ..." with what was on screen and ends the process with status 3.
#include "UserScript.h"

#include "account/ui/AccountFunctionDialog.h"
#include "app/AppConfig.h"
#include "app/ui/StartUp.h"
#include "resources/ui/BTResourceDownloadListItemWidget.h"
#include "resources/ui/BTResourceFunctionDialog.h"
#include "resources/ui/BTResourceParseResultListItemWidget.h"
#include "resources/DownloadTransfer.h"
#include "resources/PlayRecordStore.h"
#include "shell/ui/MainWindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QStackedWidget>
#include <QTest>

#include <cstdio>
#include <memory>

namespace {

struct Options
{
    QString script;
    QString user;
    QString password;
    QString magnet;
    QString downloadDirectory;
    QString screenshot;
    int playSeconds = 5;
};

MainWindow *window()
{
    MainWindow *w = MainWindow::instance();
    return w && w->isVisible() ? w : nullptr;
}

template <typename T> T *find(QWidget *root, const char *name)
{
    return root ? root->findChild<T *>(QLatin1String(name)) : nullptr;
}

// The dialogs are children of the main window; looked up rather than asked for, so that the
// script never creates one before the program does.
AccountFunctionDialog *accountDialog()
{
    return find<AccountFunctionDialog>(MainWindow::instance(), "AccountFunctionDialog");
}

BTResourceFunctionDialog *resourceDialog()
{
    return find<BTResourceFunctionDialog>(MainWindow::instance(), "BTResourceFunctionDialog");
}

QString pageOf(QWidget *root, const char *stackName)
{
    auto *stack = find<QStackedWidget>(root, stackName);
    return stack && stack->currentWidget() ? stack->currentWidget()->objectName() : QString();
}

QString windowPage() { return pageOf(window(), "contentStackedWidget"); }

bool resourcePageShown(const char *page)
{
    BTResourceFunctionDialog *dialog = resourceDialog();
    return dialog && dialog->isVisible() && pageOf(dialog, "clientStackedWidget") == QLatin1String(page);
}

QMessageBox *messageBox(const QString &text)
{
    auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
    return box && box->text() == text ? box : nullptr;
}

void click(QAbstractButton *button)
{
    if (!button)
        UserScript::fail(QStringLiteral("a button to click is missing"));
    QPointer<QAbstractButton> target(button);
    UserScript::later([target] {
        if (target)
            QTest::mouseClick(target, Qt::LeftButton);
    });
}

void clickBoxButton(QMessageBox *box, const QString &text)
{
    for (QAbstractButton *button : box->buttons())
        if (button->text() == text)
            return click(button);
    UserScript::fail(QStringLiteral("no button \"%1\" on \"%2\"").arg(text, box->text()));
}

// An action that clicks the named button of what root() returns at the time.
template <typename Root> std::function<void()> press(Root root, const char *name)
{
    return [root, name] { click(find<QPushButton>(root(), name)); };
}

QListWidget *resourceList(const char *name) { return find<QListWidget>(resourceDialog(), name); }

BTResourceDownloadListItemWidget *firstDownload()
{
    QListWidget *list = resourceList("downloadPageDownloadListWidget");
    return list ? qobject_cast<BTResourceDownloadListItemWidget *>(list->itemWidget(list->item(0))) : nullptr;
}

// The elapsed time the play page shows, in seconds.
int shownSeconds()
{
    auto *label = find<QLabel>(window(), "currentPlayDurationLabel");
    int seconds = 0;
    for (const QString &part : (label ? label->text() : QString()).split(QLatin1Char(':')))
        seconds = seconds * 60 + part.toInt();
    return seconds;
}

// The window shows the play page exactly while a media is open.
bool playing() { return window() && windowPage() == QLatin1String("playPage"); }

QList<BTResourceParseResultListItemWidget *> parseRows()
{
    QList<BTResourceParseResultListItemWidget *> rows;
    auto *list = resourceList("parsePageParseResultListWidget");
    for (int i = 0; list && i < list->count(); ++i)
        if (auto *row = qobject_cast<BTResourceParseResultListItemWidget *>(list->itemWidget(list->item(i))))
            rows << row;
    return rows;
}

class Driver
{
public:
    explicit Driver(const Options &options) : m_options(options) {}
    bool build();
    bool checkAfterExit(int status);

private:
    void step(const QString &name, std::function<bool()> ready, std::function<void()> act = {}, int timeoutMs = 20000)
    {
        m_script.step(name, std::move(ready), std::move(act), timeoutMs);
    }
    void step(const char *name, std::function<bool()> ready, std::function<void()> act = {}, int timeoutMs = 20000)
    {
        step(QString::fromUtf8(name), std::move(ready), std::move(act), timeoutMs);
    }
    // Waits for the message box with that text (and title, if given) and presses a button.
    void answerBox(const char *name, const char *text, const char *button, const char *title = "")
    {
        const QString boxText = QString::fromUtf8(text), buttonText = QString::fromUtf8(button);
        step(name, [boxText, title] {
            QMessageBox *box = messageBox(boxText);
            return box && (!*title || box->windowTitle() == QString::fromUtf8(title));
        }, [boxText, buttonText] { clickBoxButton(messageBox(boxText), buttonText); });
    }
    void answerFirstLaunch(const char *shortcutAnswer);
    void logIn();
    void pasteMagnetAndList();
    void logInAndPlayFirstFile();
    void seeTimeAdvance(const QString &what);
    void stopped()
    {
        step("stopped: the start page", [] { return window() && windowPage() == QLatin1String("normalPage"); });
    }
    void seekAndStop();
    void quit();
    void secondRun();

    Options m_options;
    UserScript m_script;
    QString m_firstFile;
    int m_seconds = 0;
    QElapsedTimer m_clock;
    std::unique_ptr<QProcess> m_secondCopy;
};

void Driver::answerFirstLaunch(const char *shortcutAnswer)
{
    answerBox("first launch: asked about a desktop shortcut", "是否创建快捷方式在您的桌面上，以方便下次访问！", shortcutAnswer);
    answerBox("first launch: asked about the tutorial", "第一次使用？是否需要观看新手教程？", "否(N)");
}

void Driver::logIn()
{
    step("the login dialog over the main window",
         [] { return window() && accountDialog() && QApplication::activeModalWidget() == accountDialog(); },
         [this] {
             AccountFunctionDialog *dialog = accountDialog();
             QTest::keyClicks(find<QLineEdit>(dialog, "loginPageUsernameLineEdit"), m_options.user);
             QTest::keyClicks(find<QLineEdit>(dialog, "loginPagePasswordLineEdit"), m_options.password);
             for (const char *box : {"loginPageRememberPasswordCheckBox", "loginPageAutoLoginCheckBox"})
                 QTest::mouseClick(find<QCheckBox>(dialog, box), Qt::LeftButton);
             if (!find<QCheckBox>(dialog, "loginPageRememberPasswordCheckBox")->isChecked()
                 || !find<QCheckBox>(dialog, "loginPageAutoLoginCheckBox")->isChecked())
                 UserScript::fail(QStringLiteral("the two login check boxes did not check"));
             click(find<QPushButton>(dialog, "loginPageLoginPushButton"));
         });
    step("logged in: the account page", [this] {
        AccountFunctionDialog *dialog = accountDialog();
        return dialog->loggedIn() && pageOf(dialog, "clientStackedWidget") == QLatin1String("miscPage")
            && find<QLineEdit>(dialog, "miscPageEmailLineEdit")->text() == m_options.user;
    }, press(accountDialog, "miscPageClosePushButton"));
    step("the start page",
         [] { return !QApplication::activeModalWidget() && windowPage() == QLatin1String("normalPage"); });
}

void Driver::pasteMagnetAndList()
{
    step("the start page's open button", [] { return windowPage() == QLatin1String("normalPage"); },
         press(window, "normalPageOpenBTPushButton"));
    step("the parse page", [] { return resourcePageShown("parsePage"); }, [this] {
        QGuiApplication::clipboard()->setText(m_options.magnet);
        QPointer<QLineEdit> target(find<QLineEdit>(resourceDialog(), "parsePageBTResourceLineEdit"));
        UserScript::later([target] {
            if (!target)
                return;
            target->setFocus();
            QTest::keyClick(target, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClick(target, Qt::Key_V, Qt::ControlModifier);
        });
    });
    step("the resource's video files listed", [this] {
        return !resourceDialog()->isBusy() && parseRows().size() >= 2
            && find<QLineEdit>(resourceDialog(), "parsePageBTResourceLineEdit")->text() == m_options.magnet;
    }, [this] {
        m_firstFile = parseRows()[0]->file().fileName;
        std::printf("file 0: %s\nfile 1: %s\n", qPrintable(m_firstFile), qPrintable(parseRows()[1]->file().fileName));
    }, 30000);
}

void Driver::logInAndPlayFirstFile()
{
    logIn();
    pasteMagnetAndList();
    step("the first file's play button", [] { return !parseRows().isEmpty(); },
         [] { click(find<QPushButton>(parseRows().first(), "playPushButton")); });
    seeTimeAdvance(QStringLiteral("first file"));
}

void Driver::seeTimeAdvance(const QString &what)
{
    step(QStringLiteral("the play page (%1)").arg(what), [] { return playing(); }, [this] {
        m_seconds = shownSeconds();
        m_clock.start();
    }, 30000);
    // The resource dialog stays out of the way while the video plays.
    step("the time label advances",
         [this] { return playing() && shownSeconds() >= m_seconds + 1 && !resourceDialog()->isVisible(); }, {}, 10000);
}

void Driver::seekAndStop()
{
    step("the file recorded in PlayRecord.dat", [this] {
        PlayRecordStore records;
        return records.load() && records.size() == 1 && records.at(0).fileName == m_firstFile;
    }, [this] {
        m_seconds = shownSeconds();
        UserScript::later([this, target = QPointer<MainWindow>(window())] {
            if (!target)
                return;
            m_clock.start();
            QTest::keyClick(target, Qt::Key_Right);
        });
    });
    // Played on for t seconds, the whole seconds shown gain at most floor(t) + 1 (less while the
    // label lags); the key adds five, so a gain of floor(t) + 3 can only come from the seek.
    step("the Right key seeks 5 s on",
         [this] { return playing() && shownSeconds() - m_seconds >= m_clock.elapsed() / 1000 + 3; }, {}, 8000);
    step("still playing after the seek", [] { return playing(); }, press(window, "stopPlayPushButton"));
    stopped();
}

void Driver::quit()
{
    step("the close button", [] { return window() && !QApplication::activeModalWidget(); }, [] {
        if (BTResourceFunctionDialog *dialog = resourceDialog())
            dialog->hide();
        click(find<QPushButton>(window(), "closePushButton"));
    });
}

// Automatic login, replay from the records, a download directory chosen, the second file
// downloaded, a second copy refused.
void Driver::secondRun()
{
    step("logged in automatically, no dialog", [] {
        AccountFunctionDialog *dialog = accountDialog();
        return window() && dialog && dialog->loggedIn() && !dialog->isVisible() && !QApplication::activeModalWidget();
    }, press(window, "playRecordPushButton"));
    step("the play-record page lists the first file", [] {
        auto *list = resourceList("playRecordPagePlayRecordListWidget");
        return resourcePageShown("playRecordPage") && list && list->count() == 1;
    }, [] {
        auto *list = resourceList("playRecordPagePlayRecordListWidget");
        click(find<QPushButton>(list->itemWidget(list->item(0)), "playPushButton"));
    });
    seeTimeAdvance(QStringLiteral("replayed from the record"));
    step("the tool bar's download button", [] { return playing(); }, press(window, "downloadBTResourcePushButton"));
    step("the download page", [] { return resourcePageShown("downloadPage"); },
         press(resourceDialog, "downloadPageSelectDownloadDirectroryPushButton"));
    step(
        "the directory chooser", [] { return qobject_cast<QFileDialog *>(QApplication::activeModalWidget()); },
        [this] {
            auto *chooser = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
            chooser->setDirectory(m_options.downloadDirectory);
            UserScript::later([target = QPointer<QFileDialog>(chooser)] {
                if (target)
                    static_cast<QDialog *>(target.data())->accept(); // public there, virtual
            });
        });
    step("the download directory set", [this] {
        return !QApplication::activeModalWidget()
            && find<QLineEdit>(resourceDialog(), "downloadPageDownloadDirectoryLineEdit")->text()
            == QDir::toNativeSeparators(QDir(m_options.downloadDirectory).absolutePath());
    }, press(window, "stopPlayPushButton"));
    stopped();
    pasteMagnetAndList();
    step("the second file's download button", [] { return parseRows().size() >= 2; },
         [] { click(find<QPushButton>(parseRows().at(1), "downloadPushButton")); });
    step(
        "the download listed",
        [] {
            return resourcePageShown("downloadPage") && resourceList("downloadPageDownloadListWidget")->count() == 1;
        },
        {}, 30000);
    step("the download finished", [] {
        BTResourceDownloadListItemWidget *row = firstDownload();
        return row && !row->transfer()->isRunning() && QFile::exists(row->transfer()->finalPath());
    }, [this] {
        std::printf("downloaded: %s\n", qPrintable(firstDownload()->transfer()->finalPath()));
        m_secondCopy = std::make_unique<QProcess>();
        m_secondCopy->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_secondCopy->start(QCoreApplication::applicationFilePath(),
                            {QStringLiteral("--script"), QStringLiteral("second-copy")});
    }, 60000);
    step("a second copy refused", [this] { return m_secondCopy->state() == QProcess::NotRunning; }, [this] {
        const QByteArray out = m_secondCopy->readAllStandardOutput();
        std::printf("%s", out.constData());
        if (m_secondCopy->exitStatus() != QProcess::NormalExit || !out.contains("\ndone\n"))
            UserScript::fail(QStringLiteral("the second copy did not end as refused"));
    }, 30000);
    quit();
}

bool Driver::build()
{
    const QString &script = m_options.script;
    if (script == QLatin1String("first-run")) {
        answerFirstLaunch("是(Y)");
        logInAndPlayFirstFile();
        seekAndStop();
        quit();
    } else if (script == QLatin1String("second-run")) {
        secondRun();
    } else if (script == QLatin1String("second-copy")) {
        answerBox("warned that the program runs already", "检测到Pelorin已运行，请勿多次运行！", "确定", "警告");
    } else if (script == QLatin1String("demo")) {
        if (AppConfig::firstLaunch() == 1)
            answerFirstLaunch("否(N)");
        logInAndPlayFirstFile();
        step("played on", [this] { return playing() && m_clock.elapsed() >= m_options.playSeconds * 1000; }, [this] {
            const QRect area = window()->frameGeometry();
            const QPixmap shot =
                QGuiApplication::primaryScreen()->grabWindow(0, area.x(), area.y(), area.width(), area.height());
            if (!shot.save(m_options.screenshot))
                UserScript::fail(QStringLiteral("could not write %1").arg(m_options.screenshot));
            std::printf("screenshot: %s\n", qPrintable(m_options.screenshot));
        }, m_options.playSeconds * 1000 + 10000);
        step("the stop button", [] { return playing(); }, press(window, "stopPlayPushButton"));
        quit();
    } else {
        return false;
    }
    m_script.start();
    return true;
}

bool Driver::checkAfterExit(int status)
{
    if (!m_script.finished())
        std::printf("FAIL the program ended (status %d) before the script did\n", status);
    else if (m_options.script == QLatin1String("second-copy") && MainWindow::instance())
        std::printf("FAIL the refused copy made a main window\n");
    else
        return true;
    return false;
}

} // namespace

int main(int argc, char *argv[])
{
    StartUp::setApplicationAttributes();
    QApplication app(argc, argv);
    StartUp::prepareApplication();

    QCommandLineParser parser;
    for (const char *name :
         {"script", "service", "user", "password", "magnet", "download-dir", "screenshot", "play-seconds"})
        parser.addOption({QLatin1String(name), QLatin1String(name), QStringLiteral("VALUE")});
    parser.process(app);
    const auto value = [&parser](const char *name) { return parser.value(QLatin1String(name)); };
    const Options options{value("script"),
                          value("user"),
                          value("password"),
                          value("magnet"),
                          value("download-dir"),
                          value("screenshot"),
                          parser.isSet(QStringLiteral("play-seconds")) ? value("play-seconds").toInt() : 5};
    if (parser.isSet(QStringLiteral("service")))
        AppConfig::setServiceHost(value("service"));

    Driver driver(options);
    if (!driver.build()) {
        std::fprintf(stderr, "unknown script \"%s\"\n", qPrintable(options.script));
        return 2;
    }
    StartUp startUp;
    const int status = startUp.run();
    if (!driver.checkAfterExit(status))
        return 3;
    std::printf("done\n");
    return 0;
}
