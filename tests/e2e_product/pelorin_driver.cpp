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

// A step that waits for the message box with that text (and title, if given) and presses a button.
void answerBox(UserScript &script, const QString &step, const QString &text, const QString &button,
               const QString &title = QString())
{
    script.step(
        step,
        [text, title] {
            QMessageBox *box = messageBox(text);
            return box && (title.isEmpty() || box->windowTitle() == title);
        },
        [text, button] { clickBoxButton(messageBox(text), button); });
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
    void answerFirstLaunch(const QString &shortcutAnswer);
    void logIn();
    void pasteMagnetAndList();
    void logInAndPlayFirstFile();
    void seeTimeAdvance(const QString &what);
    void stopped();
    void seekAndStop();
    void quit();

    Options m_options;
    UserScript m_script;
    QString m_firstFile;
    QString m_secondFile;
    int m_seconds = 0;
    QElapsedTimer m_clock;
    std::unique_ptr<QProcess> m_secondCopy;
};

void Driver::answerFirstLaunch(const QString &shortcutAnswer)
{
    answerBox(m_script, QStringLiteral("first launch: asked about a desktop shortcut"),
              QStringLiteral("是否创建快捷方式在您的桌面上，以方便下次访问！"), shortcutAnswer);
    answerBox(m_script, QStringLiteral("first launch: asked about the tutorial"),
              QStringLiteral("第一次使用？是否需要观看新手教程？"), QStringLiteral("否(N)"));
}

void Driver::logIn()
{
    m_script.step(
        QStringLiteral("the login dialog over the main window"),
        [] { return window() && accountDialog() && QApplication::activeModalWidget() == accountDialog(); },
        [this] {
            AccountFunctionDialog *dialog = accountDialog();
            QTest::keyClicks(find<QLineEdit>(dialog, "loginPageUsernameLineEdit"), m_options.user);
            QTest::keyClicks(find<QLineEdit>(dialog, "loginPagePasswordLineEdit"), m_options.password);
            QTest::mouseClick(find<QCheckBox>(dialog, "loginPageRememberPasswordCheckBox"), Qt::LeftButton);
            QTest::mouseClick(find<QCheckBox>(dialog, "loginPageAutoLoginCheckBox"), Qt::LeftButton);
            if (!find<QCheckBox>(dialog, "loginPageRememberPasswordCheckBox")->isChecked()
                || !find<QCheckBox>(dialog, "loginPageAutoLoginCheckBox")->isChecked())
                UserScript::fail(QStringLiteral("the two login check boxes did not check"));
            click(find<QPushButton>(dialog, "loginPageLoginPushButton"));
        });
    m_script.step(
        QStringLiteral("logged in: the account page"),
        [this] {
            AccountFunctionDialog *dialog = accountDialog();
            return dialog->loggedIn() && pageOf(dialog, "clientStackedWidget") == QLatin1String("miscPage")
                && find<QLineEdit>(dialog, "miscPageEmailLineEdit")->text() == m_options.user;
        },
        [] { click(find<QPushButton>(accountDialog(), "miscPageClosePushButton")); });
    m_script.step(QStringLiteral("the start page"), [] {
        return !QApplication::activeModalWidget() && windowPage() == QLatin1String("normalPage");
    });
}

void Driver::pasteMagnetAndList()
{
    m_script.step(
        QStringLiteral("the start page's open button"), [] { return windowPage() == QLatin1String("normalPage"); },
        [] { click(find<QPushButton>(window(), "normalPageOpenBTPushButton")); });
    m_script.step(
        QStringLiteral("the parse page"), [] { return resourcePageShown("parsePage"); },
        [this] {
            auto *edit = find<QLineEdit>(resourceDialog(), "parsePageBTResourceLineEdit");
            QGuiApplication::clipboard()->setText(m_options.magnet);
            QPointer<QLineEdit> target(edit);
            UserScript::later([target] {
                if (!target)
                    return;
                target->setFocus();
                QTest::keyClick(target, Qt::Key_A, Qt::ControlModifier);
                QTest::keyClick(target, Qt::Key_V, Qt::ControlModifier);
            });
        });
    m_script.step(
        QStringLiteral("the resource's video files listed"),
        [this] {
            const auto rows = parseRows();
            return !resourceDialog()->isBusy() && rows.size() >= 2
                && find<QLineEdit>(resourceDialog(), "parsePageBTResourceLineEdit")->text() == m_options.magnet;
        },
        [this] {
            const auto rows = parseRows();
            m_firstFile = rows[0]->file().fileName;
            m_secondFile = rows[1]->file().fileName;
            std::printf("file 0: %s\nfile 1: %s\n", qPrintable(m_firstFile), qPrintable(m_secondFile));
        },
        30000);
}

void Driver::logInAndPlayFirstFile()
{
    logIn();
    pasteMagnetAndList();
    m_script.step(
        QStringLiteral("the first file's play button"), [] { return !parseRows().isEmpty(); },
        [] { click(find<QPushButton>(parseRows().first(), "playPushButton")); });
    seeTimeAdvance(QStringLiteral("first file"));
}

void Driver::stopped()
{
    m_script.step(QStringLiteral("stopped: the start page"), [] {
        return window() && windowPage() == QLatin1String("normalPage");
    });
}

void Driver::seeTimeAdvance(const QString &what)
{
    m_script.step(
        QStringLiteral("the play page (%1)").arg(what), [] { return playing(); },
        [this] {
            m_seconds = shownSeconds();
            m_clock.start();
        },
        30000);
    // The resource dialog stays out of the way while the video plays.
    m_script.step(
        QStringLiteral("the time label advances"),
        [this] { return playing() && shownSeconds() >= m_seconds + 1 && !resourceDialog()->isVisible(); }, {}, 10000);
}

void Driver::seekAndStop()
{
    m_script.step(
        QStringLiteral("the file recorded in PlayRecord.dat"),
        [this] {
            PlayRecordStore records;
            return records.load() && records.size() == 1 && records.at(0).fileName == m_firstFile;
        },
        [this] {
            m_seconds = shownSeconds();
            QPointer<MainWindow> target(window());
            UserScript::later([this, target] {
                if (!target)
                    return;
                m_clock.start();
                QTest::keyClick(target, Qt::Key_Right);
            });
        });
    // Played on for t seconds, the whole seconds shown gain at most floor(t) + 1 (less while the
    // label lags); the key adds five, so a gain of floor(t) + 3 can only come from the seek.
    m_script.step(
        QStringLiteral("the Right key seeks 5 s on"),
        [this] { return playing() && shownSeconds() - m_seconds >= m_clock.elapsed() / 1000 + 3; }, {}, 8000);
    m_script.step(
        QStringLiteral("still playing after the seek"), [] { return playing(); },
        [] { click(find<QPushButton>(window(), "stopPlayPushButton")); });
    stopped();
}

void Driver::quit()
{
    m_script.step(
        QStringLiteral("the close button"), [] { return window() && !QApplication::activeModalWidget(); },
        [] {
            if (BTResourceFunctionDialog *dialog = resourceDialog())
                dialog->hide();
            click(find<QPushButton>(window(), "closePushButton"));
        });
}

bool Driver::build()
{
    const QString &script = m_options.script;
    if (script == QLatin1String("first-run")) {
        answerFirstLaunch(QStringLiteral("是(Y)"));
        logInAndPlayFirstFile();
        seekAndStop();
        quit();
    } else if (script == QLatin1String("second-run")) {
        m_script.step(
            QStringLiteral("logged in automatically, no dialog"),
            [] {
                AccountFunctionDialog *dialog = accountDialog();
                return window() && dialog && dialog->loggedIn() && !dialog->isVisible() && !QApplication::activeModalWidget();
            },
            [] { click(find<QPushButton>(window(), "playRecordPushButton")); });
        m_script.step(
            QStringLiteral("the play-record page lists the first file"),
            [] {
                auto *list = resourceList("playRecordPagePlayRecordListWidget");
                return resourcePageShown("playRecordPage") && list && list->count() == 1;
            },
            [] {
                auto *list = resourceList("playRecordPagePlayRecordListWidget");
                click(find<QPushButton>(list->itemWidget(list->item(0)), "playPushButton"));
            });
        seeTimeAdvance(QStringLiteral("replayed from the record"));
        m_script.step(
            QStringLiteral("the tool bar's download button"), [] { return playing(); },
            [] { click(find<QPushButton>(window(), "downloadBTResourcePushButton")); });
        m_script.step(
            QStringLiteral("the download page"), [] { return resourcePageShown("downloadPage"); },
            [] { click(find<QPushButton>(resourceDialog(), "downloadPageSelectDownloadDirectroryPushButton")); });
        m_script.step(
            QStringLiteral("the directory chooser"),
            [] { return qobject_cast<QFileDialog *>(QApplication::activeModalWidget()); },
            [this] {
                auto *chooser = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
                chooser->setDirectory(m_options.downloadDirectory);
                QPointer<QFileDialog> target(chooser);
                UserScript::later([target] {
                    if (target)
                        static_cast<QDialog *>(target.data())->accept(); // public there, virtual
                });
            });
        m_script.step(
            QStringLiteral("the download directory set"),
            [this] {
                return !QApplication::activeModalWidget()
                    && find<QLineEdit>(resourceDialog(), "downloadPageDownloadDirectoryLineEdit")->text()
                    == QDir::toNativeSeparators(QDir(m_options.downloadDirectory).absolutePath());
            },
            [] { click(find<QPushButton>(window(), "stopPlayPushButton")); });
        stopped();
        pasteMagnetAndList();
        m_script.step(
            QStringLiteral("the second file's download button"), [] { return parseRows().size() >= 2; },
            [] { click(find<QPushButton>(parseRows().at(1), "downloadPushButton")); });
        m_script.step(
            QStringLiteral("the download listed"),
            [] { return resourcePageShown("downloadPage") && resourceList("downloadPageDownloadListWidget")->count() == 1; },
            {}, 30000);
        m_script.step(
            QStringLiteral("the download finished"),
            [] {
                BTResourceDownloadListItemWidget *row = firstDownload();
                return row && !row->transfer()->isRunning() && QFile::exists(row->transfer()->finalPath());
            },
            [this] {
                std::printf("downloaded: %s\n", qPrintable(firstDownload()->transfer()->finalPath()));
                m_secondCopy = std::make_unique<QProcess>();
                m_secondCopy->setProcessChannelMode(QProcess::ForwardedErrorChannel);
                m_secondCopy->start(QCoreApplication::applicationFilePath(),
                                    {QStringLiteral("--script"), QStringLiteral("second-copy")});
            },
            60000);
        m_script.step(
            QStringLiteral("a second copy refused"),
            [this] { return m_secondCopy->state() == QProcess::NotRunning; },
            [this] {
                const QByteArray out = m_secondCopy->readAllStandardOutput();
                std::printf("%s", out.constData());
                if (m_secondCopy->exitStatus() != QProcess::NormalExit || !out.contains("\ndone\n"))
                    UserScript::fail(QStringLiteral("the second copy did not end as refused"));
            },
            30000);
        quit();
    } else if (script == QLatin1String("second-copy")) {
        answerBox(m_script, QStringLiteral("warned that the program runs already"),
                  QStringLiteral("检测到Pelorin已运行，请勿多次运行！"), QStringLiteral("确定"), QStringLiteral("警告"));
    } else if (script == QLatin1String("demo")) {
        if (AppConfig::firstLaunch() == 1)
            answerFirstLaunch(QStringLiteral("否(N)"));
        logInAndPlayFirstFile();
        m_script.step(
            QStringLiteral("played on"),
            [this] { return playing() && m_clock.elapsed() >= m_options.playSeconds * 1000; },
            [this] {
                const QRect area = window()->frameGeometry();
                const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(0, area.x(), area.y(), area.width(),
                                                                                  area.height());
                if (!shot.save(m_options.screenshot))
                    UserScript::fail(QStringLiteral("could not write %1").arg(m_options.screenshot));
                std::printf("screenshot: %s\n", qPrintable(m_options.screenshot));
            },
            m_options.playSeconds * 1000 + 10000);
        m_script.step(
            QStringLiteral("the stop button"), [] { return playing(); },
            [] { click(find<QPushButton>(window(), "stopPlayPushButton")); });
        quit();
    } else {
        return false;
    }
    m_script.start();
    return true;
}

bool Driver::checkAfterExit(int status)
{
    if (!m_script.finished()) {
        std::printf("FAIL the program ended (status %d) before the script did\n", status);
        return false;
    }
    if (m_options.script == QLatin1String("second-copy") && MainWindow::instance()) {
        std::printf("FAIL the refused copy made a main window\n");
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    StartUp::setApplicationAttributes();
    QApplication app(argc, argv);
    StartUp::prepareApplication();

    QCommandLineParser parser;
    for (const char *name : {"script", "service", "user", "password", "magnet", "download-dir", "screenshot", "play-seconds"})
        parser.addOption({QLatin1String(name), QLatin1String(name), QStringLiteral("VALUE")});
    parser.process(app);
    const auto value = [&parser](const char *name) { return parser.value(QLatin1String(name)); };
    const Options options{value("script"), value("user"), value("password"), value("magnet"), value("download-dir"),
                          value("screenshot"), parser.isSet(QStringLiteral("play-seconds")) ? value("play-seconds").toInt() : 5};
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
