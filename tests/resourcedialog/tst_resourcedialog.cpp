#include "app/AppConfig.h"
#include "app/ui/GuiResources.h"
#include "resources/ui/CollectNowPlayingResourceDialog.h"

#include "ModalAnswerer.h"
#include "ResourceDialogParts.h"
#include "ScriptedHttpServer.h"
#include "TestFiles.h"

#include "resources/VideoDomainList.h"

#include <QApplication>
#include <QClipboard>
#include <QDate>
#include <QLineEdit>
#include <QtTest>

namespace {
const QString kHash = QStringLiteral("0123456789abcdefABCDEF0123456789abcdefAB");
const int kFileSize = 256 * 1024;
const char *const kFiles = "parsePageParseResultListWidget";
const char *const kCollections = "collectionPageCollectionListWidget";

QByteArray payload()
{
    return patterned(kFileSize);
}

QString hashOf(int n)
{
    return QStringLiteral("%1").arg(n, 40, 10, QLatin1Char('c'));
}
} // namespace

class TestResourceDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase() { m_p.reset(); }
    void replayOfAMissingIndexPlaysNothing();
    void collectionRefusals();
    void collectingThePlayingFile();
    void parseShowsFilesAndFailures();
    void playOverAnOpenMediaWaitsForTheNewOne();
    void unacceptableHostsAreSkipped();
    void abortWhileProbingAndWhileOpening();
    void serviceStepsAbortWithoutTouchingTheMedia();
    void downloadNeedsPermanentVipAndADirectory();
    void videoHostListOncePerDay();
    void clipboardMonitorFollowsTheSettingAndTheBusyState();

private:
    QLineEdit *input() { return m_p->child<QLineEdit>("parsePageBTResourceLineEdit"); }
    QPushButton *parseButton() { return m_p->child<QPushButton>("parsePageParseBTResourcePushButton"); }
    QPushButton *fileButton(int row, const char *name = "playPushButton") { return m_p->rowButton(kFiles, row, name); }
    void click(const char *button) { m_p->child<QPushButton>(button)->click(); }
    void login(bool vip, bool permanentVip);
    void scriptResolution(const QString &field);
    void serveFileOnBothHosts(const QByteArray &match)
    {
        m_hostA.serveData(match, payload(), "video/mp4");
        m_hostB.serveData(match, payload(), "video/mp4");
    }

    QTemporaryDir m_dir;
    ScriptedHttpServer m_service;
    ScriptedHttpServer m_hostA;
    ScriptedHttpServer m_hostB;
    std::unique_ptr<ResourceDialogParts> m_p;
    BTResourceFunctionDialog *m_dialog = nullptr;
};

void TestResourceDialog::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(QDir::setCurrent(m_dir.path()));
    QVERIFY(m_service.listen() && m_hostA.listen() && m_hostB.listen());
    AppConfig::setServiceHost(m_service.hostPort());
    AppConfig::setLastAutoShowDayOfYear(uint(QDate::currentDate().dayOfYear()));
    m_service.route("cfg=video_domain",
                    ScriptedResponse::json("{\"statu\":1,\"data\":[\"" + m_hostA.hostPort().toUtf8() + "\"]}"));
    m_p = std::make_unique<ResourceDialogParts>();
    m_dialog = m_p->dialog;
}

void TestResourceDialog::init()
{
    for (ScriptedHttpServer *server : {&m_service, &m_hostA, &m_hostB}) {
        server->clearRoutes();
        server->clearRequests();
    }
    m_p->engine->clearCalls();
    m_service.route("do=getNewHashFileList",
                    ScriptedResponse::json(R"({"statu":1,"datas":[)"
                                           R"({"index":0,"name":"第一集 a.mp4","file_size":1073741824},)"
                                           R"({"index":3,"name":"b.mkv","file_size":1073741823}]})"));
}

void TestResourceDialog::login(bool vip, bool permanentVip)
{
    m_service.route("do=login",
                    ScriptedResponse::json(QStringLiteral(R"({"statu":1,"data":{"isvip":%1,"issvip":"%2"}})")
                                               .arg(vip ? 1 : 0)
                                               .arg(permanentVip ? QStringLiteral("true") : QString())
                                               .toUtf8()));
    QVERIFY(m_p->session.logIn(QStringLiteral("u"), QStringLiteral("p"), false).succeeded());
}

void TestResourceDialog::scriptResolution(const QString &field)
{
    m_service.route("cs0=lixian_qq",
                    ScriptedResponse::json(QStringLiteral(R"({"statu":1,"data":{"hash":"FH","index":7,)"
                                                          R"("size":%1,"jxhash":"JX"}})")
                                               .arg(kFileSize)
                                               .toUtf8()));
    m_service.route("cs0=qqlixian_gethttp",
                    ScriptedResponse::json(QStringLiteral(R"({"statu":1,"data":{"code":"C0DE",)"
                                                          R"("com_cookie":"k=v, w","field":"%1"}})")
                                               .arg(field)
                                               .toUtf8()));
}

// Collections as the service cannot show them: refusals and missing rows (an unreadable record
// file is tst_mainwindowinput's, with the pointer, and tst_playrecordstore's).
void TestResourceDialog::replayOfAMissingIndexPlaysNothing()
{
    m_service.route("do=getNewHashFileList",
                    ScriptedResponse::json(R"({"statu":1,"datas":[{"index":4,"name":"x.mp4","file_size":10}]})"));
    m_service.route("do=fav",
                    ScriptedResponse::json("{\"statu\":1,\"datas\":[{\"hash\":\"" + hashOf(7).toLatin1()
                                           + "\",\"index\":9,\"name\":\"收藏 一\",\"id\":31}]}"));
    click("collectionPageFlushCollectionListPushButton");
    m_p->rowButton(kCollections, 0, "playPushButton")->click();
    QCOMPARE(m_p->state(), QStringLiteral("解析BT资源成功"));
    QCOMPARE(m_service.requestsMatching("cs0=").size(), 0);
    QCOMPARE(m_p->calls("open"), 0);
}

void TestResourceDialog::collectionRefusals()
{
    m_service.route("do=fav",
                    ScriptedResponse::json("{\"statu\":1,\"datas\":[{\"hash\":\"" + hashOf(1).toLatin1()
                                           + "\",\"index\":2,\"name\":\"one\",\"id\":11},{\"hash\":\""
                                           + hashOf(2).toLatin1() + "\",\"index\":0,\"name\":\"two\",\"id\":12}]}"));
    click("collectionPageFlushCollectionListPushButton");
    QListWidget *list = m_p->list(kCollections);

    // The row goes before the service is asked and stays gone when it refuses.
    m_service.route("method=del", ScriptedResponse::json(R"({"statu":0,"msg":"删除失败"})"));
    m_p->rowButton(kCollections, 1, "deletePushButton")->click();
    QVERIFY(m_service.requestsMatching("method=del").value(0).body.contains("&id=12&"));
    QCOMPARE(list->count(), 1);
    QCOMPARE(m_p->state(), QStringLiteral("删除失败"));

    m_service.route("do=fav", ScriptedResponse::drop());
    click("collectionPageFlushCollectionListPushButton");
    QCOMPARE(list->count(), 0);
    QCOMPARE(m_p->state(), QStringLiteral("连接服务器失败！"));
}

void TestResourceDialog::collectingThePlayingFile()
{
    // An empty name is refused without a request; a refusal keeps the dialog (success: end to end).
    BTResourceFile playing;
    playing.resourceHash = hashOf(5);
    CollectNowPlayingResourceDialog dialog(&m_p->client, playing, m_dialog);
    QSignalSpy reloads(&dialog, &CollectNowPlayingResourceDialog::collectionPageFlushCollectionList);
    dialog.show();
    auto *edit = dialog.findChild<QLineEdit *>(QStringLiteral("fileNameLineEdit"));
    auto *ok = dialog.findChild<QPushButton *>(QStringLiteral("okPushButton"));
    const auto expectMessage = [ok](const QString &text) {
        ModalAnswerer answerer({QStringLiteral("确定")});
        ok->click();
        QCOMPARE(answerer.seen().value(0).text, text);
    };
    edit->clear();
    expectMessage(QStringLiteral("名称不能为空！"));
    QVERIFY(m_service.requestsMatching("method=add").isEmpty());
    m_service.route("method=add", ScriptedResponse::json(R"({"statu":0,"msg":"已收藏"})"));
    edit->setText(QStringLiteral("我的 收藏"));
    expectMessage(QStringLiteral("已收藏"));
    QVERIFY(dialog.isVisible());
    QCOMPARE(reloads.count(), 0);
}

void TestResourceDialog::parseShowsFilesAndFailures()
{
    input()->clear();
    QTest::keyClicks(input(), kHash.left(39));
    QCOMPARE(m_p->state(), QStringLiteral("请输入有效的BT资源！"));
    QVERIFY(m_service.requests().isEmpty());
    QTest::keyClicks(input(), kHash.right(1));
    QCOMPARE(m_p->state(), QStringLiteral("解析BT资源成功"));
    QCOMPARE(m_service.requests().size(), 1);
    QCOMPARE(m_p->list(kFiles)->count(), 2);

    const QList<QPair<ScriptedResponse, QString>> cases = {
        {ScriptedResponse::drop(), QStringLiteral("连接服务器失败！")},
        {ScriptedResponse::text("oops"), QStringLiteral("服务器返回数据异常！")},
        {ScriptedResponse::json(R"({"statu":0,"msg":"资源不存在"})"), QStringLiteral("资源不存在")},
        {ScriptedResponse::json(R"({"statu":1,"datas":[]})"), QStringLiteral("解析BT资源成功")}};
    for (const auto &c : cases) {
        m_service.route("do=getNewHashFileList", c.first);
        parseButton()->click();
        QCOMPARE(m_p->state(), c.second);
        QCOMPARE(m_p->list(kFiles)->count(), 0);
        QVERIFY(!m_dialog->isBusy());
    }
}

void TestResourceDialog::playOverAnOpenMediaWaitsForTheNewOne()
{
    login(true, true);
    scriptResolution(m_hostA.hostPort());
    serveFileOnBothHosts("/ftn_handler/C0DE");
    input()->setText(QStringLiteral("w ") + kHash);
    const int stateBefore = m_p->engine->state();

    // The playing media closes first (an event of the old media), then the new one opens later.
    m_p->engine->setScriptedState(PlayerEngine::Playing);
    bool busyAfterOldClose = false;
    whenTrue(
        this, [this] { return m_p->calls("open") == 1; },
        [&] {
            m_p->engine->emitStateChange(PlayerEngine::Closing);
            m_p->engine->emitStateChange(PlayerEngine::Ready);
            m_p->engine->emitStateChange(PlayerEngine::Opening);
            QTimer::singleShot(100, this, [&] {
                busyAfterOldClose = m_dialog->isBusy();
                m_p->engine->emitOpenSucceeded();
            });
        });
    m_p->clickLater(fileButton(0));
    QTRY_VERIFY(busyAfterOldClose);
    QTRY_VERIFY(!m_dialog->isBusy());
    m_p->engine->setScriptedState(stateBefore);
    // The cookie goes to the probe and to the engine as the service sent it.
    QCOMPARE(m_hostA.requests().value(0).header("Cookie"), QByteArray("k=v, w"));
    QVERIFY(m_p->engine->configWrites().contains(QStringLiteral("1105=k=v, w")));
}

void TestResourceDialog::unacceptableHostsAreSkipped()
{
    scriptResolution(m_hostB.hostPort());
    // A host too slow for the limit whose late answer has the wrong length, and one without a
    // length.
    ScriptedResponse slow = ScriptedResponse::withType("video/mp4", payload() + "x", 200);
    slow.delayMs = 900;
    m_hostA.route("/ftn_handler/", slow);
    ScriptedResponse noLength = ScriptedResponse::text(payload());
    noLength.contentLength = false;
    m_hostB.route("/ftn_handler/", noLength.withHeader("Connection", "close"));
    input()->setText(kHash.toUpper());
    fileButton(0)->click();
    QCOMPARE(m_p->state(), QStringLiteral("筛选视频文件播放地址失败！"));
    QCOMPARE(m_p->calls("open"), 0);
}

void TestResourceDialog::abortWhileProbingAndWhileOpening()
{
    scriptResolution(m_hostB.hostPort());
    m_hostA.route("/ftn_handler/", ScriptedResponse::hang());
    m_hostB.route("/ftn_handler/", ScriptedResponse::hang());
    input()->setText(QStringLiteral("x ") + kHash);
    QPushButton *parse = parseButton();
    bool enabledWhileProbing = false;
    whenTrue(
        this, [&] { return parse->text() == QStringLiteral("中止") && !m_hostA.requests().isEmpty(); },
        [&] {
            enabledWhileProbing = parse->isEnabled();
            parse->click();
        });
    m_p->clickLater(fileButton(0));
    QTRY_VERIFY(enabledWhileProbing);
    QTRY_VERIFY(!m_dialog->isBusy());
    QVERIFY(m_p->state().isEmpty());
    QCOMPARE(m_p->calls("close"), 1);
    QCOMPARE(m_p->calls("open"), 0);

    // While the media opens, "中止" closes it and the wait ends with the close.
    serveFileOnBothHosts("/ftn_handler/");
    m_p->engine->setScriptedState(PlayerEngine::Ready);
    whenTrue(this, [this] { return m_p->calls("open") == 1; }, [parse] { parse->click(); });
    m_p->clickLater(fileButton(0));
    QTRY_COMPARE(m_p->calls("open"), 1);
    QTRY_VERIFY(!m_dialog->isBusy());
    QCOMPARE(parse->text(), QStringLiteral("解析"));
    QVERIFY(m_p->calls("close") >= 2);
}

void TestResourceDialog::serviceStepsAbortWithoutTouchingTheMedia()
{
    QPushButton *parse = parseButton();
    const auto abortOnceWaiting = [&](const char *route) {
        whenTrue(
            this, [&, route] { return parse->text() == QStringLiteral("中止") && !m_service.requestsMatching(route).isEmpty(); },
            [parse] { parse->click(); });
    };
    // Each resolution step ends its wait, says nothing and leaves the media alone (the file list
    // the same: tst_mainwindowinput, with the pointer).
    input()->setText(QStringLiteral("v ") + kHash);
    for (const char *step : {"cs0=lixian_qq", "cs0=qqlixian_gethttp"}) {
        scriptResolution(m_hostA.hostPort());
        m_service.route(step, ScriptedResponse::hang());
        m_service.clearRequests();
        abortOnceWaiting(step);
        m_p->clickLater(fileButton(0));
        QTRY_VERIFY(!m_service.requestsMatching(step).isEmpty());
        QTRY_VERIFY(!m_dialog->isBusy());
        QVERIFY(m_p->state().isEmpty());
    }
    QCOMPARE(m_p->calls("close"), 0);
    QCOMPARE(m_p->calls("open"), 0);
}

void TestResourceDialog::downloadNeedsPermanentVipAndADirectory()
{
    login(true, false);
    scriptResolution(m_hostB.hostPort());
    input()->setText(QStringLiteral("y ") + kHash);
    {
        // The download button's refusal is covered end to end; reloading is refused the same way.
        ModalAnswerer answerer({QStringLiteral("确定")});
        fileButton(0, "reloadPushButton")->click();
        QCOMPARE(answerer.seen().value(0).text, QStringLiteral("非永久vip不可用！"));
    }
    QVERIFY(m_service.requestsMatching("cs0=").isEmpty());

    login(true, true);
    serveFileOnBothHosts("rkey=C0DE/");
    auto *directory = m_p->child<QLineEdit>("downloadPageDownloadDirectoryLineEdit");
    directory->clear();
    fileButton(0, "downloadPushButton")->click();
    QCOMPARE(m_p->state(), QStringLiteral("请先设置下载目录，再重新点击下载。"));
    const auto probe = (m_hostA.requestsMatching("rkey=") + m_hostB.requestsMatching("rkey=")).value(0);
    QVERIFY(QRegularExpression(QStringLiteral("^/[1-9][0-9]{7}\\.mp4\\?ver=5063&rkey=C0DE/$"))
                .match(QString::fromLatin1(probe.target))
                .hasMatch());
    // With a directory the download runs: covered end to end.
}

void TestResourceDialog::videoHostListOncePerDay()
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("VideoDomain"));
    const QStringList hosts = {QStringLiteral("h1:80"), QStringLiteral("h2:81")};
    m_service.route("cfg=video_domain", ScriptedResponse::json(R"({"statu":0,"data":["h1:80","h2:81"]})"));
    // Already fetched today, and no file: nothing, and no request.
    AppConfig::setLatestRequestVideoDomainsDayOfYear(uint(QDate::currentDate().dayOfYear()));
    QVERIFY(VideoDomainList::load(&m_p->client, file).isEmpty());
    QVERIFY(m_service.requests().isEmpty());
    // Another day: fetched, kept in the file; the same day again reads the file.
    AppConfig::setLatestRequestVideoDomainsDayOfYear(0);
    QCOMPARE(VideoDomainList::load(&m_p->client, file), hosts);
    QCOMPARE(VideoDomainList::load(&m_p->client, file), hosts);
    QCOMPARE(m_service.requests().size(), 1);
}

void TestResourceDialog::clipboardMonitorFollowsTheSettingAndTheBusyState()
{
    const auto monitor = [this] { return m_dialog->findChild<QTimer *>(QString(), Qt::FindDirectChildrenOnly); };
    QVERIFY(m_p->session.loggedIn());
    m_dialog->hide();
    // The setting off: leaving a busy parse does not switch the monitor on.
    AppConfig::setClipboardMonitor(0);
    input()->setText(QStringLiteral("z ") + kHash);
    QVERIFY(!monitor() || !monitor()->isActive());
    // On: the parse resumes it, and a copied link brings the dialog back with it.
    QGuiApplication::clipboard()->setText(QStringLiteral("magnet:?xt=urn:btih:") + kHash.toLower());
    AppConfig::setClipboardMonitor(1);
    input()->setText(kHash);
    QTRY_COMPARE_WITH_TIMEOUT(input()->text(), QStringLiteral("magnet:?xt=urn:btih:") + kHash.toLower(), 5000);
    QVERIFY(m_dialog->isVisible());
    // Pasted by hand before the monitor looked: it does not bring the dialog back.
    const QString pasted = QStringLiteral("magnet:?xt=urn:btih:") + kHash.toUpper();
    QGuiApplication::clipboard()->setText(pasted);
    input()->setText(pasted);
    m_dialog->hide();
    QSignalSpy ticks(monitor(), &QTimer::timeout);
    QVERIFY(ticks.wait(5000));
    QVERIFY(m_dialog->isHidden());
    // A change of the clipboard is seen as it happens, not at the next tick.
    const QString copied = QStringLiteral("magnet:?xt=urn:btih:") + kHash.toLower() + QStringLiteral("&dn=x");
    QGuiApplication::clipboard()->setText(copied);
    QVERIFY(m_dialog->isVisible());
    QTRY_COMPARE_WITH_TIMEOUT(input()->text(), copied, 900); // parsed once on screen

    // A link copied while a parse fails waits until the failure has been readable a while.
    m_service.route("do=getNewHashFileList", ScriptedResponse::drop());
    input()->setText(QStringLiteral("u ") + kHash);
    QCOMPARE(m_p->state(), QStringLiteral("连接服务器失败！"));
    const QString copiedLater = QStringLiteral("magnet:?xt=urn:btih:") + kHash.toLower() + QStringLiteral("&dn=y");
    QGuiApplication::clipboard()->setText(copiedLater);
    QElapsedTimer shown;
    shown.start();
    QTRY_COMPARE_WITH_TIMEOUT(input()->text(), copiedLater, 10000);
    QVERIFY(shown.elapsed() >= 4000);
    m_dialog->setClipboardMonitorEnabled(false);
}

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    initGuiResources();
    TestResourceDialog test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_resourcedialog.moc"
