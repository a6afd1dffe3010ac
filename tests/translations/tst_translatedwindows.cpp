// Every window of the program in Chinese and in English: nothing cut, nothing left in the other
// language, and an open window follows a change of language as a fresh one would look.
#include "FakePlayerEngine.h"
#include "ScriptedHttpServer.h"
#include "TextFit.h"

#include "account/ui/AccountFunctionDialog.h"
#include "app/AppConfig.h"
#include "app/InterfaceLanguage.h"
#include "app/ui/Application.h"
#include "app/ui/StartUp.h"
#include "notices/PopupNotice.h"
#include "notices/UpdateInfo.h"
#include "notices/ui/ReportDialog.h"
#include "notices/ui/TanChuangDialog.h"
#include "notices/ui/UpdateDialog.h"
#include "notices/ui/VIPTipDialog.h"
#include "player/PlaybackController.h"
#include "player/ui/SubtitleSettingDialog.h"
#include "resources/ui/BTResourceCollectionListItemWidget.h"
#include "resources/ui/BTResourceDownloadListItemWidget.h"
#include "resources/ui/BTResourceFunctionDialog.h"
#include "resources/ui/BTResourceParseResultListItemWidget.h"
#include "resources/ui/BTResourcePlayRecordListItemWidget.h"
#include "resources/ui/CollectNowPlayingResourceDialog.h"
#include "service/ServiceReply.h"
#include "shell/ui/SettingsDialog.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QLayout>
#include <QRegularExpression>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

#include <memory>

namespace {
const QRegularExpression kChinese(QStringLiteral("[\\x{3000}-\\x{303f}\\x{4e00}-\\x{9fff}\\x{ff00}-\\x{ffef}]"));

// Chinese an English window shows on purpose: the language box names each language in its own.
bool chineseOnPurpose(const QString &key, const QString &text)
{
    return key.startsWith(QLatin1String("languageComboBox.item")) || key == QLatin1String("languageLabel.text")
        || text.contains(QStringLiteral("影迷工坊")); // the name to search for on WeChat
}

// The source texts of one context of the translation.
QStringList sourcesOf(const QString &context)
{
    QFile file(QStringLiteral(PELORIN_TRANSLATION_SOURCE));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("no %s", PELORIN_TRANSLATION_SOURCE);
    QXmlStreamReader xml(&file);
    QStringList sources;
    QString current;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == QLatin1String("name"))
            current = xml.readElementText();
        else if (xml.name() == QLatin1String("source") && current == context)
            sources << xml.readElementText();
    }
    return sources;
}
} // namespace

class TestTranslatedWindows : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void languageOfTheRun();
    void translationCoversTheCore();
    // And every state text where it is shown.
    void everyWindowHoldsItsTextsInBothLanguages();
    void openWindowsFollowTheLanguage();

private:
    // The main window and every dialog and row the program makes, in the language in force.
    QList<QWidget *> makeWindows();
    // Every page of every stacked widget in turn: the check sees each page as it is shown.
    QStringList cutTextsOnEveryPage(QWidget *window);
    QMap<QString, QString> textsOf(const QList<QWidget *> &windows);
    void compareTexts(const QMap<QString, QString> &seen, const QMap<QString, QString> &expected);

    QTemporaryDir m_dir;
    ScriptedHttpServer m_service;
    std::unique_ptr<Application> m_app;
    QList<QPointer<QWidget>> m_extra; // windows made beside the application's
};

void TestTranslatedWindows::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(QDir::setCurrent(m_dir.path()));
    QVERIFY(m_service.listen());
    AppConfig::setServiceHost(m_service.hostPort());
    m_service.route(
        "cfg=gonggao",
        ScriptedResponse::json(R"({"statu":1,"msg":"","data":[{"title":"beta","url":"http://b.example/"}]})"));
    // The collection list fails: its failure words stand on the parse page.
    m_service.route("do=fav", ScriptedResponse::drop());
    // The sign-up page asks for a captcha when it is shown.
    m_service.route("r=default/verfy", ScriptedResponse::withType("image/png", "not really an image", 200));
}

void TestTranslatedWindows::cleanup()
{
    for (const QPointer<QWidget> &window : qAsConst(m_extra))
        delete window.data();
    m_extra.clear();
    m_app.reset();
    InterfaceLanguage::apply(InterfaceLanguage::Chinese);
}

void TestTranslatedWindows::languageOfTheRun()
{
    const QString zh = InterfaceLanguage::Chinese, en = InterfaceLanguage::English;
    const auto run = [](const QStringList &arguments, const QString &environment, const QString &stored) {
        return InterfaceLanguage::forRun(QStringList{QStringLiteral("pelorin")} + arguments, environment, stored);
    };
    QCOMPARE(run({}, QString(), QString()), zh);
    QCOMPARE(run({}, QString(), en), en);
    QCOMPARE(run({}, QStringLiteral("en_GB.UTF-8"), zh), en);
    QCOMPARE(run({QStringLiteral("--lang"), QStringLiteral("zh")}, en, en), zh);
    QCOMPARE(run({QStringLiteral("--lang=EN")}, zh, zh), en);
    // An unknown code passes the choice on.
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("unknown language .fr.")));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("unknown language .xx.")));
    QCOMPARE(run({QStringLiteral("--lang"), QStringLiteral("fr")}, QStringLiteral("xx"), en), en);
    // That "--lang en" names no resource to open is tst_handover's.
}

void TestTranslatedWindows::translationCoversTheCore()
{
    QVERIFY(InterfaceLanguage::apply(QStringLiteral("en")));
    QCOMPARE(InterfaceLanguage::current(), QStringLiteral("en"));
    QCOMPARE(ServiceReply::networkFailure().failureText(), QStringLiteral("Cannot connect to the server!"));
    // Qt's own texts follow: its English, not the Chinese catalogue.
    QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("Cancel"));
    QVERIFY(!InterfaceLanguage::apply(QStringLiteral("fr")));
    QCOMPARE(InterfaceLanguage::current(), QStringLiteral("en"));
    QVERIFY(InterfaceLanguage::apply(QStringLiteral("zh")));
    QCOMPARE(ServiceReply::networkFailure().failureText(), QStringLiteral("连接服务器失败！"));
    QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("取消"));
}

QList<QWidget *> TestTranslatedWindows::makeWindows()
{
    m_app = std::make_unique<Application>([](QWidget *playPage) { return new FakePlayerEngine(playPage); });
    QWidget *main = m_app->mainWidget();
    QList<QWidget *> windows{main,
                             SettingsDialog::instance(),
                             SubtitleSettingDialog::instance(),
                             AccountFunctionDialog::instance(),
                             BTResourceFunctionDialog::instance(),
                             VIPTipDialog::instance()};
    BTResourceFile file;
    file.resourceHash = QStringLiteral("0123456789abcdef0123456789abcdef01234567");
    file.fileName = QStringLiteral("a.mp4");
    file.fileSize = 1 << 20;
    PopupNotice notice;
    notice.switchedOn = true;
    UpdateInfo update;
    update.serverVersion = QStringLiteral("9.9.9.9");
    auto *download =
        new BTResourceDownloadListItemWidget(file, m_dir.path(), BTResourceDownloadListItemWidget::Start::OnResume);
    for (QWidget *window : std::initializer_list<QWidget *>{
             new ReportDialog(m_app->serviceClient(), main),
             new CollectNowPlayingResourceDialog(m_app->serviceClient(), file, main), new TanChuangDialog(notice, main),
             new UpdateDialog(update), new BTResourceParseResultListItemWidget(file),
             new BTResourceCollectionListItemWidget(file, 1), new BTResourcePlayRecordListItemWidget(file), download}) {
        m_extra << window;
        windows << window;
    }
    return windows;
}

QStringList TestTranslatedWindows::cutTextsOnEveryPage(QWidget *window)
{
    window->show();
    QCoreApplication::processEvents();
    QStringList cuts = TextFit::cutTexts(window);
    for (QStackedWidget *stack : window->findChildren<QStackedWidget *>()) {
        const int shown = stack->currentIndex();
        for (int i = 0; i < stack->count(); ++i) {
            stack->setCurrentIndex(i);
            // Where the stack puts the page it shows (not yet done for a window shown a moment ago).
            stack->layout()->setGeometry(stack->contentsRect());
            cuts += TextFit::cutTexts(window);
        }
        stack->setCurrentIndex(shown);
    }
    window->hide();
    cuts.removeDuplicates();
    return cuts;
}

void TestTranslatedWindows::compareTexts(const QMap<QString, QString> &seen, const QMap<QString, QString> &expected)
{
    QStringList differences;
    for (auto it = expected.begin(); it != expected.end(); ++it) {
        if (seen.value(it.key()) != it.value())
            differences << QStringLiteral("%1: %2 instead of %3").arg(it.key(), seen.value(it.key()), it.value());
    }
    for (auto it = seen.begin(); it != seen.end(); ++it) {
        if (!expected.contains(it.key()))
            differences << QStringLiteral("%1: %2 too many").arg(it.key(), it.value());
    }
    QVERIFY2(differences.isEmpty(), qPrintable(differences.join(QLatin1Char('\n'))));
}

QMap<QString, QString> TestTranslatedWindows::textsOf(const QList<QWidget *> &windows)
{
    QMap<QString, QString> all;
    for (QWidget *window : windows) {
        const QMap<QString, QString> texts = TextFit::texts(window);
        for (auto it = texts.begin(); it != texts.end(); ++it)
            all.insert(window->objectName() + QLatin1Char('/') + it.key(), it.value());
    }
    return all;
}

void TestTranslatedWindows::everyWindowHoldsItsTextsInBothLanguages()
{
    // The state texts come and go with what happens; each of them must fit where it is shown.
    const QList<std::pair<const char *, QStringList>> stateLabels = {
        {"parsePageParseStateLabel",
         QStringList{QStringLiteral("PlayRequest"), QStringLiteral("ServiceReply"),
                     QStringLiteral("BTResourceFunctionDialog")}},
        {"playStateLabel", QStringList{QStringLiteral("PlaybackController")}},
        {"downloadProgressLabel", QStringList{QStringLiteral("BTResourceDownloadListItemWidget")}},
        {"updateStateLabel", QStringList{QStringLiteral("UpdateDialog")}},
    };
    QStringList cuts;
    for (const QString &language : {InterfaceLanguage::Chinese, InterfaceLanguage::English}) {
        QVERIFY(InterfaceLanguage::apply(language));
        const QList<QWidget *> windows = makeWindows();
        for (QWidget *window : windows) {
            for (const QString &cut : cutTextsOnEveryPage(window))
                cuts << language + QLatin1String(" ") + window->objectName() + QLatin1String(": ") + cut;
        }
        if (language == InterfaceLanguage::English) {
            const QMap<QString, QString> texts = textsOf(windows);
            for (auto it = texts.begin(); it != texts.end(); ++it)
                QVERIFY2(!it.value().contains(kChinese)
                             || chineseOnPurpose(it.key().section(QLatin1Char('/'), 1), it.value()),
                         qPrintable(it.key() + QLatin1String(": ") + it.value()));
        }
        for (const auto &[name, contexts] : stateLabels) {
            QLabel *label = nullptr;
            for (QWidget *window : windows)
                label = label ? label : window->findChild<QLabel *>(QLatin1String(name));
            QVERIFY2(label, name);
            label->window()->show();
            for (const QString &context : contexts) {
                for (const QString &source : sourcesOf(context)) {
                    // Only the plain texts: tool tips and rich texts are the form's own.
                    if (source.startsWith(QLatin1Char('<')))
                        continue;
                    QString text =
                        QCoreApplication::translate(context.toLatin1().constData(), source.toUtf8().constData());
                    if (text.contains(QLatin1String("%1")))
                        text = text.arg(100);
                    label->setText(text);
                    // As the window lays itself out anew for the text.
                    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
                    const QRect ink = label->fontMetrics().boundingRect(text);
                    const int needs = qMax(label->sizeHint().width(), ink.right() + 1);
                    if (needs > label->width())
                        cuts << QStringLiteral("%1 %2: %3 needs %4, has %5")
                                    .arg(language, QLatin1String(name), label->text())
                                    .arg(needs)
                                    .arg(label->width());
                }
            }
            label->window()->hide();
        }
        cleanup();
    }
    for (const QString &cut : qAsConst(cuts))
        qWarning("cut: %s", qPrintable(cut));
    QVERIFY2(cuts.isEmpty(), "texts are cut (listed above)");
}

void TestTranslatedWindows::openWindowsFollowTheLanguage()
{
    QVERIFY(InterfaceLanguage::apply(InterfaceLanguage::English));
    const QMap<QString, QString> english = textsOf(makeWindows());
    cleanup();
    const QList<QWidget *> windows = makeWindows();
    const QMap<QString, QString> chinese = textsOf(windows);
    QVERIFY(chinese != english);

    // Switched while open, the windows read as if made in the new language, and back again.
    QVERIFY(InterfaceLanguage::apply(InterfaceLanguage::English));
    QCoreApplication::processEvents();
    compareTexts(textsOf(windows), english);
    QVERIFY(InterfaceLanguage::apply(InterfaceLanguage::Chinese));
    QCoreApplication::processEvents();
    compareTexts(textsOf(windows), chinese);
}

int main(int argc, char *argv[])
{
    StartUp::setApplicationAttributes();
    QApplication app(argc, argv);
    StartUp::prepareApplication(); // the program's font, which the forms are measured in
    TestTranslatedWindows test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_translatedwindows.moc"
