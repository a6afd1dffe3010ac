// Resources dropped on the main window, and what the composition root makes of them and of a
// playing file. A real drag from another program cannot be sent into Xvfb from outside, so the
// drag and drop events are sent through the widget.
#include "FakePlayerEngine.h"
#include "ScriptedHttpServer.h"

#include "account/AccountSession.h"
#include "app/AppConfig.h"
#include "app/ui/Application.h"
#include "app/ui/GuiResources.h"
#include "player/PlaybackController.h"
#include "resources/PlayRequest.h"
#include "resources/ui/BTResourceFunctionDialog.h"
#include "shell/ui/ResourceDrop.h"

#include <QApplication>
#include <QDate>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QtTest>

namespace {
const QString kHash = QStringLiteral("0123456789abcdef0123456789abcdef01234567");

// Sends a drag over the widget and, when it is taken, the drop; true when the drag was accepted.
bool dragAndDrop(QWidget *target, QMimeData *mime, bool drop = true)
{
    const QPoint at = target->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction | Qt::LinkAction, mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    if (!enter.isAccepted() || !drop) {
        QDragLeaveEvent leave;
        QApplication::sendEvent(target, &leave);
        return enter.isAccepted();
    }
    QDropEvent dropped(at, Qt::CopyAction | Qt::LinkAction, mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &dropped);
    return dropped.isAccepted();
}

QMimeData *urls(const QList<QUrl> &list, const QString &text = QString())
{
    auto *mime = new QMimeData;
    mime->setUrls(list);
    if (!text.isNull())
        mime->setText(text);
    return mime;
}
} // namespace

class TestDesktopWiring : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void onlyTorrentsAndHashTextAreTaken();
    void droppedResourceOpensOnceLoggedIn();
    void titleShowsThePlayingFile();
    void cleanupTestCase() { m_app.reset(); }

private:
    QTemporaryDir m_dir;
    ScriptedHttpServer m_service;
    std::unique_ptr<Application> m_app;
    FakePlayerEngine *m_engine = nullptr;
};

void TestDesktopWiring::initTestCase()
{
    QVERIFY(QDir::setCurrent(m_dir.path()));
    QVERIFY(m_service.listen());
    AppConfig::setServiceHost(m_service.hostPort());
    AppConfig::setLastAutoShowDayOfYear(uint(QDate::currentDate().dayOfYear()));
    m_service.route("do=getNewHashFileList",
                    ScriptedResponse::json(R"({"statu":1,"datas":[{"index":0,"name":"a.mp4","file_size":1048576}]})"));
    m_app = std::make_unique<Application>([this](QWidget *playPage) {
        m_engine = new FakePlayerEngine(playPage);
        m_engine->setAutoTransitions(true);
        return m_engine;
    });
    m_app->mainWidget()->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_app->mainWidget()));
    QVERIFY(m_app->engine());
}

void TestDesktopWiring::onlyTorrentsAndHashTextAreTaken()
{
    QWidget window;
    ResourceDrop drop(&window);
    QSignalSpy dropped(&drop, &ResourceDrop::dropped);
    QVERIFY(window.acceptDrops());

    const QString torrent = m_dir.filePath(QStringLiteral("电影 1.Torrent"));
    QVERIFY(dragAndDrop(
        &window, urls({QUrl::fromLocalFile(m_dir.filePath(QStringLiteral("a.txt"))), QUrl::fromLocalFile(torrent)})));
    QCOMPARE(dropped.takeFirst().at(0).toString(), torrent);
    // A link dragged from a browser: its address, with or without a text form.
    const QString magnet = QStringLiteral("magnet:?xt=urn:btih:") + kHash;
    QVERIFY(dragAndDrop(&window, urls({QUrl(magnet)})));
    QCOMPARE(dropped.takeFirst().at(0).toString(), magnet);
    auto *text = new QMimeData;
    text->setText(QStringLiteral("  看这个 ") + kHash.toUpper() + QStringLiteral("\n"));
    QVERIFY(dragAndDrop(&window, text));
    QCOMPARE(dropped.takeFirst().at(0).toString(), QStringLiteral("看这个 ") + kHash.toUpper());

    // Refused while dragged: other files, text without a hash, a web page.
    QVERIFY(!dragAndDrop(&window, urls({QUrl::fromLocalFile(QStringLiteral("/tmp/a.mp4"))}), false));
    QVERIFY(
        !dragAndDrop(&window, urls({QUrl(QStringLiteral("http://example.org/"))}, QStringLiteral("no hash")), false));
    QCOMPARE(dropped.count(), 0);
}

void TestDesktopWiring::droppedResourceOpensOnceLoggedIn()
{
    QWidget *window = m_app->mainWidget();
    const QString magnet = QStringLiteral("magnet:?xt=urn:btih:") + kHash + QStringLiteral("&dn=a");
    // Nobody logged in yet: it waits, and the parse page stays closed.
    QVERIFY(dragAndDrop(window, urls({QUrl(magnet)})));
    QTest::qWait(50);
    QVERIFY(m_service.requestsMatching("do=getNewHashFileList").isEmpty());
    QVERIFY(!BTResourceFunctionDialog::instance()->isVisible());

    m_service.route("do=login", ScriptedResponse::json(R"({"statu":1,"data":{"isvip":1,"issvip":""}})"));
    QVERIFY(m_app->session()->logIn(QStringLiteral("u"), QStringLiteral("p"), false).succeeded());
    QTRY_COMPARE(m_service.requestsMatching("do=getNewHashFileList").size(), 1);
    QVERIFY(m_service.requestsMatching("do=getNewHashFileList").first().query.contains(kHash.toUtf8()));
    BTResourceFunctionDialog *dialog = BTResourceFunctionDialog::instance();
    QTRY_VERIFY(dialog->isVisible());
    QCOMPARE(dialog->findChild<QStackedWidget *>(QStringLiteral("clientStackedWidget"))->currentWidget()->objectName(),
             QStringLiteral("parsePage"));

    // The same input again (another click on the same link) is parsed again.
    m_app->openResourceInput(magnet);
    QTRY_COMPARE(m_service.requestsMatching("do=getNewHashFileList").size(), 2);
}

void TestDesktopWiring::titleShowsThePlayingFile()
{
    QWidget *window = m_app->mainWidget();
    QCOMPARE(window->windowTitle(), QStringLiteral("Pelorin"));
    BTResourceFile file;
    file.fileName = QStringLiteral("第一季/第一集 a.mp4");
    m_engine->open(QStringLiteral("http://127.0.0.1:9/x"));
    m_engine->emitOpenSucceeded();
    emit m_app->playRequest()->fileOpened(file);
    QCOMPARE(window->windowTitle(), QStringLiteral("第一集 a.mp4 - Pelorin"));
    m_app->playback()->stop();
    QTRY_COMPARE(window->windowTitle(), QStringLiteral("Pelorin"));
}

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    initGuiResources();
    TestDesktopWiring test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_desktopwiring.moc"
