// The interface language as a user meets it, with pointer and key input through the X server under
// a window manager: English chosen in the settings reaches the open windows at once, nothing is
// cut, and "--lang en" starts the program in English. Runs under tools/on-x-server.
#include "ChildOfTest.h"
#include "DesktopInput.h"
#include "Eventually.h"
#include "MainWindowFixture.h"
#include "MenuInput.h"
#include "ProgramCopy.h"
#include "TextFit.h"

#include "account/ui/AccountFunctionDialog.h"
#include "app/AppConfig.h"
#include "app/InterfaceLanguage.h"
#include "app/ui/GuiResources.h"
#include "app/ui/StartUp.h"
#include "resources/ui/BTResourceFunctionDialog.h"
#include "shell/ui/SettingsDialog.h"

#include <QApplication>
#include <QComboBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QScreen>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>
#include <cstring>

namespace {
const QRegularExpression kChinese(QStringLiteral("[\\x{3000}-\\x{303f}\\x{4e00}-\\x{9fff}\\x{ff00}-\\x{ffef}]"));
const QString kHash = QStringLiteral("0123456789abcdef0123456789abcdef01234567");

// Where the window shows texts: they may change with the language, nothing else may.
QRegion textRegion(QWidget *window)
{
    QRegion region;
    for (QWidget *widget : window->findChildren<QWidget *>()) {
        const auto *label = qobject_cast<QLabel *>(widget);
        const auto *button = qobject_cast<QAbstractButton *>(widget);
        if (widget->isVisible() && ((label && !label->text().isEmpty()) || (button && !button->text().isEmpty())))
            region += QRect(widget->mapTo(window, QPoint(0, 0)), widget->size());
    }
    return region;
}

QStringList chineseIn(const QMap<QString, QString> &texts)
{
    QStringList found;
    for (auto it = texts.begin(); it != texts.end(); ++it) {
        // The language box names each language in its own.
        if (it.value().contains(kChinese) && !it.key().startsWith(QLatin1String("language")))
            found << it.key() + QLatin1String(": ") + it.value();
    }
    return found;
}
} // namespace

class TestLanguageInput : public MainWindowFixture
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init()
    {
        resetService();
        m_server.route(
            "do=getNewHashFileList",
            ScriptedResponse::json(R"({"statu":1,"datas":[{"index":0,"name":"a.mp4","file_size":1048576}]})"));
    }
    void cleanup()
    {
        closeWindow();
        InterfaceLanguage::apply(InterfaceLanguage::Chinese);
        AppConfig::setLanguage(InterfaceLanguage::Chinese);
    }

    void englishChosenInTheSettingsReachesTheOpenWindows();
    void langEnStartsWithTheLoginPageInEnglish();

private:
    // The main window's picture as the X server shows it, the pointer away from it.
    QImage grabWindow();
    // From inside the message box's own event loop, once it has the focus: its title, text and
    // buttons, then Return.
    bool answerMessageBox(const std::function<void()> &cause, QStringList *seen);

    DesktopInput m_input;
};

void TestLanguageInput::initTestCase()
{
    startService();
    QVERIFY2(m_input.start(), "needs an X display (tools/on-x-server) and openbox");
}

QImage TestLanguageInput::grabWindow()
{
    m_input.moveTo(QPoint(1270, 790));
    QTest::qWait(300); // hover faces and tool tips gone
    const QRect frame(m_window->mapToGlobal(QPoint(0, 0)), m_window->size());
    return QGuiApplication::primaryScreen()
        ->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height())
        .toImage();
}

bool TestLanguageInput::answerMessageBox(const std::function<void()> &cause, QStringList *seen)
{
    bool answered = false;
    QPointer<QTimer> driver = whenTrue(
        this,
        [] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            return box && box->isActiveWindow();
        },
        [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            *seen << box->windowTitle() << box->text();
            for (QAbstractButton *button : box->buttons())
                *seen << button->text();
            seen->append(TextFit::cutTexts(box));
            m_input.keyLater(QStringLiteral("Return"));
            answered = true;
        });
    const auto stopDriver = qScopeGuard([&driver] { delete driver; });
    cause();
    return QTest::qWaitFor([&] { return answered && !QApplication::activeModalWidget(); }, 15000);
}

void TestLanguageInput::englishChosenInTheSettingsReachesTheOpenWindows()
{
    QVERIFY(InterfaceLanguage::apply(InterfaceLanguage::Chinese));
    makeWindow();
    QRegion texts = textRegion(m_window);
    const QImage chinese = grabWindow();

    // 软件设置 from the menu (on the page, clear of its buttons and of the window's edges); "English"
    // in its language box, by the pointer.
    const QPoint page = m_window->mapToGlobal(QPoint(80, m_window->height() / 2));
    MenuUse menu = useContextMenu(&m_input, this, page, {QStringLiteral("软件设置")});
    QVERIFY(menu.chosen && menu.entries.contains(QStringLiteral("视频比例")));
    auto *settings = m_window->findChild<SettingsDialog *>();
    QTRY_VERIFY(settings && settings->isVisible());
    QVERIFY(QTest::qWaitForWindowExposed(settings));
    auto *language = settings->findChild<QComboBox *>(QStringLiteral("languageComboBox"));
    QCOMPARE(language->currentText(), QStringLiteral("中文"));
    QVERIFY(chooseInComboBox(&m_input, language, language->findData(InterfaceLanguage::English)));
    QTRY_COMPARE(InterfaceLanguage::current(), InterfaceLanguage::English);
    QCOMPARE(AppConfig::language(), InterfaceLanguage::English);

    // The open windows read English at once, each text whole.
    const auto clipboard = settings->findChild<QAbstractButton *>(QStringLiteral("clipboardMonitorCheckBox"));
    QTRY_COMPARE(clipboard->text(), QStringLiteral("Watch the clipboard"));
    QCOMPARE(chineseIn(TextFit::texts(settings)), QStringList());
    QCOMPARE(TextFit::cutTexts(settings), QStringList());
    QCOMPARE(chineseIn(TextFit::texts(m_window)), QStringList());
    QVERIFY(m_input.click(
        settings->findChild<QPushButton *>(QStringLiteral("closePushButton"))->mapToGlobal(QPoint(40, 10))));
    QTRY_VERIFY(!settings->isVisible());

    // The start page: only the texts changed, none of them cut.
    const QImage english = grabWindow();
    QCOMPARE(english.size(), chinese.size());
    texts += textRegion(m_window); // the announcement may have moved on meanwhile
    int changedOutside = 0;
    for (int y = 0; y < english.height(); ++y) {
        for (int x = 0; x < english.width(); ++x)
            changedOutside += english.pixel(x, y) != chinese.pixel(x, y) && !texts.contains(QPoint(x, y));
    }
    QCOMPARE(changedOutside, 0);
    auto *open = child<QPushButton>("normalPageOpenURLPushButton");
    const QRect openRect(open->mapTo(m_window, QPoint(0, 0)), open->size());
    QVERIFY(english.copy(openRect) != chinese.copy(openRect));
    QCOMPARE(TextFit::cutTexts(m_window), QStringList());

    // The menu: English, and its choices still work.
    menu = useContextMenu(&m_input, this, page, {QStringLiteral("Aspect ratio"), QStringLiteral("16 : 9")});
    QVERIFY(menu.chosen);
    QCOMPARE(AppConfig::videoAspectRatio(), QStringLiteral("16:9"));
    QVERIFY(menu.entries.contains(QStringLiteral("Settings")));
    QCOMPARE(menu.entries.filter(kChinese), QStringList());

    // The parse page, opened from the start page and given a hash by the keyboard.
    QVERIFY(m_input.click(open->mapToGlobal(open->rect().center())));
    auto *resources = m_window->findChild<BTResourceFunctionDialog *>();
    QTRY_VERIFY(resources && resources->isVisible());
    QVERIFY(QTest::qWaitForWindowActive(resources));
    auto *input = resources->findChild<QLineEdit *>(QStringLiteral("parsePageBTResourceLineEdit"));
    QVERIFY(m_input.click(input->mapToGlobal(input->rect().center())));
    QVERIFY(m_input.type(kHash));
    auto *rows = resources->findChild<QListWidget *>(QStringLiteral("parsePageParseResultListWidget"));
    QTRY_COMPARE(rows->count(), 1);
    QCOMPARE(resources->findChild<QLabel *>(QStringLiteral("parsePageParseStateLabel"))->text(),
             QStringLiteral("Resource parsed"));
    QCOMPARE(chineseIn(TextFit::texts(resources)), QStringList());
    QVERIFY2(TextFit::cutTexts(resources).isEmpty(), qPrintable(TextFit::cutTexts(resources).join(QLatin1Char('\n'))));

    // A message box: a download without a permanent VIP account.
    auto *download = rows->itemWidget(rows->item(0))->findChild<QPushButton *>(QStringLiteral("downloadPushButton"));
    QStringList box;
    QVERIFY(answerMessageBox([&] { m_input.click(download->mapToGlobal(download->rect().center())); }, &box));
    QCOMPARE(box,
             (QStringList{QStringLiteral("Download"), QStringLiteral("Only for permanent VIP accounts!"),
                          QStringLiteral("OK")}));
}

void TestLanguageInput::langEnStartsWithTheLoginPageInEnglish()
{
    // The whole start-up in a program of its own, started with "--lang en" on a Chinese Config.ini.
    QTemporaryDir lockDir, work;
    QFile config(work.filePath(QStringLiteral("Config.ini")));
    QVERIFY(config.open(QIODevice::WriteOnly));
    config.write("[Application]\nFirstLaunch=0\nLanguage=zh\n[Service]\nHost=" + m_server.hostPort().toLatin1() + "\n");
    config.close();
    ProgramCopy program(lockDir.path(), QStringLiteral("xcb"), work.path());
    program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    program.start(QCoreApplication::applicationFilePath(),
                  {QStringLiteral("--program"), QStringLiteral("--lang"), QStringLiteral("en")});
    QVERIFY(program.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(program.canReadLine(), 30000);
    const QJsonObject seen = QJsonDocument::fromJson(program.readLine()).object();

    QCOMPARE(seen.value(QStringLiteral("page")).toString(), QStringLiteral("loginPage"));
    QMap<QString, QString> texts;
    const QJsonObject shown = seen.value(QStringLiteral("texts")).toObject();
    for (auto it = shown.begin(); it != shown.end(); ++it)
        texts.insert(it.key(), it.value().toString());
    QCOMPARE(texts.value(QStringLiteral("loginPageLoginPushButton.text")), QStringLiteral("Log in"));
    QCOMPARE(texts.value(QStringLiteral("loginPageUsernameLabel.text")), QStringLiteral("Account:"));
    QCOMPARE(chineseIn(texts), QStringList());
    QCOMPARE(seen.value(QStringLiteral("cuts")).toArray(), QJsonArray());

    // Its close button ends the program.
    const QJsonArray close = seen.value(QStringLiteral("close")).toArray();
    QVERIFY(m_input.click(QPoint(close.at(0).toInt(), close.at(1).toInt())));
    QVERIFY(program.waitForFinished(15000));
    QCOMPARE(program.exitCode(), 0);
}

// "--program": the program's start-up on a scripted engine, saying what its login page shows once
// the user sees it.
static int runAsProgram(int argc, char *argv[])
{
    StartUp::setApplicationAttributes();
    QApplication app(argc, argv);
    StartUp::prepareApplication();
    StartUp startUp(QString(), [](QWidget *playPage) { return new FakePlayerEngine(playPage); });
    whenTrue(
        &app,
        [] {
            auto *dialog = qobject_cast<AccountFunctionDialog *>(QApplication::activeModalWidget());
            return dialog && dialog->isActiveWindow();
        },
        [] {
            auto *dialog = qobject_cast<AccountFunctionDialog *>(QApplication::activeModalWidget());
            QJsonObject texts;
            const QMap<QString, QString> found = TextFit::texts(dialog);
            for (auto it = found.begin(); it != found.end(); ++it)
                texts.insert(it.key(), it.value());
            const QWidget *close = dialog->findChild<QWidget *>(QStringLiteral("loginPageClosePushButton"));
            const QPoint at = close->mapToGlobal(close->rect().center());
            const QJsonObject seen{
                {QStringLiteral("page"), dialog->findChild<QStackedWidget *>()->currentWidget()->objectName()},
                {QStringLiteral("texts"), texts},
                {QStringLiteral("cuts"), QJsonArray::fromStringList(TextFit::cutTexts(dialog))},
                {QStringLiteral("close"), QJsonArray{at.x(), at.y()}},
            };
            std::puts(QJsonDocument(seen).toJson(QJsonDocument::Compact).constData());
            std::fflush(stdout);
        });
    return startUp.run();
}

int main(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--program") == 0)
            return runAsProgram(argc, argv);
    }
    StartUp::setApplicationAttributes();
    QApplication app(argc, argv);
    StartUp::prepareApplication();
    TestLanguageInput test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_languageinput.moc"
