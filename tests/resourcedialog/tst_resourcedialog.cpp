#include "app/AppConfig.h"
#include "app/ui/GuiResources.h"
#include "resources/AddressResolution.h"
#include "resources/VideoDomainList.h"
#include "resources/ui/BTResourceParseResultListItemWidget.h"
#include "service/Endpoints.h"

#include "ModalAnswerer.h"
#include "ResourceDialogParts.h"
#include "ScriptedHttpServer.h"

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QStackedWidget>
#include <QtTest>

namespace {
const QString kHash = QStringLiteral("0123456789abcdefABCDEF0123456789abcdefAB");
const int kFileSize = 256 * 1024;
const char *const kFiles = "parsePageParseResultListWidget";
const char *const kRecords = "playRecordPagePlayRecordListWidget";

QByteArray payload()
{
    QByteArray bytes(kFileSize, Qt::Uninitialized);
    for (int i = 0; i < bytes.size(); ++i)
        bytes[i] = char((i * 7 + i / 251) & 0xFF);
    return bytes;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
} // namespace

class TestResourceDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase() { m_p.reset(); }
    void resolutionParameters();
    void videoHostListOncePerDay();
    void parseShowsFilesAndFailures();
    void playResolvesProbesAndRecords();
    void playOverAnOpenMediaWaitsForTheNewOne();
    void vipRefusalShowsTheTipOnce();
    void unacceptableHostsAreSkipped();
    void abortWhileProbingAndWhileOpening();
    void downloadNeedsPermanentVipAndADirectory();
    void clipboardMonitorFollowsTheSetting();

private:
    QLineEdit *input() { return m_p->child<QLineEdit>("parsePageBTResourceLineEdit"); }
    QPushButton *parseButton() { return m_p->child<QPushButton>("parsePageParseBTResourcePushButton"); }
    QPushButton *fileButton(int row, const char *name = "playPushButton") { return m_p->rowButton(kFiles, row, name); }
    QString page() { return m_p->child<QStackedWidget>("clientStackedWidget")->currentWidget()->objectName(); }
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
    QCOMPARE(m_dialog->videoDomains(), QStringList{m_hostA.hostPort()});
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
    QCOMPARE(m_p->session.vip(), vip);
    QCOMPARE(m_p->session.permanentVip(), permanentVip);
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

void TestResourceDialog::resolutionParameters()
{
    BTResourceFile file;
    file.resourceHash = kHash;
    file.resourceIndex = 3;
    file.fileName = QStringLiteral("影 片.mp4");
    file.fileHash = QStringLiteral("FH");
    file.fileIndex = 7;
    file.jxhash = QStringLiteral("JX");
    file.size = 1234;
    const auto joined = [](const ServiceRequest &request) { return request.parameters.join(QLatin1Char('&')); };
    QCOMPARE(joined(Endpoints::fileHash(file, QStringLiteral("M"))),
             QStringLiteral("r=www/default/pc&cs0=lixian_qq&hash=%1&index=3&name=影 片.mp4&_mac=M&_s=pc").arg(kHash));
    const QString base = QStringLiteral("r=www/default/pc&cs0=qqlixian_gethttp&hash=FH&index=7&jxhash=JX&size=1234");
    // The main line sends neither netType nor reload, whatever the button.
    QCOMPARE(joined(Endpoints::fileInfo(file, 0, true, QStringLiteral("M"))), base + QStringLiteral("&_mac=M&_s=pc"));
    QCOMPARE(joined(Endpoints::fileInfo(file, 1, false, QStringLiteral("M"))),
             base + QStringLiteral("&netType=dianxin&_mac=M&_s=pc"));
    QCOMPARE(joined(Endpoints::fileInfo(file, 6, true, QStringLiteral("M"))),
             base + QStringLiteral("&netType=changcheng &reload=1&_mac=M&_s=pc"));

    // The download address depends on the time only (its form is checked where a download runs).
    QCOMPARE(AddressResolution::downloadAddress(QStringLiteral("h:1"), QStringLiteral("C"), QTime(1, 2, 3)),
             AddressResolution::downloadAddress(QStringLiteral("h:1"), QStringLiteral("C"), QTime(1, 2, 3)));
    QStringList hosts{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"), QStringLiteral("d")};
    QStringList shuffled = hosts;
    AddressResolution::shuffleHosts(&shuffled);
    std::sort(shuffled.begin(), shuffled.end());
    QCOMPARE(shuffled, hosts);
}

void TestResourceDialog::videoHostListOncePerDay()
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("VideoDomain"));
    const QStringList hosts = {QStringLiteral("h1:80"), QStringLiteral("h2:81")};
    m_service.route("cfg=video_domain", ScriptedResponse::json(R"({"statu":0,"data":["h1:80","h2:81"]})"));

    // Already fetched today and no file: nothing, and no request.
    AppConfig::setLatestRequestVideoDomainsDayOfYear(uint(QDate::currentDate().dayOfYear()));
    QVERIFY(VideoDomainList::load(&m_p->client, file).isEmpty());
    QVERIFY(m_service.requests().isEmpty());

    // Another day: fetched (statu is not looked at) and written one host a line.
    AppConfig::setLatestRequestVideoDomainsDayOfYear(0);
    QCOMPARE(VideoDomainList::load(&m_p->client, file), hosts);
    QCOMPARE(m_service.requests().size(), 1);
    QVERIFY(m_service.requests()[0].target.contains("cfg=video_domain&_s=pc&sign="));
    QCOMPARE(readFile(file), QByteArray("h1:80\nh2:81\n"));
    QCOMPARE(AppConfig::latestRequestVideoDomainsDayOfYear(), uint(QDate::currentDate().dayOfYear()));

    // The same day again reads the file.
    QCOMPARE(VideoDomainList::load(&m_p->client, file), hosts);
    QCOMPARE(m_service.requests().size(), 1);
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
    QVERIFY(m_service.requests()[0].target.contains("do=getNewHashFileList&hash=" + kHash.toLatin1() + "&_s=pc&sign="));
    QCOMPARE(m_p->list(kFiles)->count(), 2);
    const auto row = [this](int i) { return m_p->row<BTResourceParseResultListItemWidget>(kFiles, i); };
    QCOMPARE(row(0)->file().fileName, QStringLiteral("第一集 a.mp4"));
    QCOMPARE(row(1)->file().resourceIndex, 3u);
    QCOMPARE(row(0)->findChild<QLabel *>(QStringLiteral("fileSizeLabel"))->text(), QStringLiteral("1.00G"));
    QCOMPARE(row(1)->findChild<QLabel *>(QStringLiteral("fileSizeLabel"))->text(), QStringLiteral("1024.00MB"));
    QVERIFY(!m_dialog->isBusy());

    // The same text again starts nothing; a magnet link with the same hash parses again.
    input()->setText(kHash);
    QCOMPARE(m_service.requests().size(), 1);
    input()->setText(QStringLiteral("magnet:?xt=urn:btih:") + kHash + QStringLiteral("&dn=x"));
    QCOMPARE(m_service.requests().size(), 2);

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
        QVERIFY(input()->isEnabled());
    }
    input()->clear();
    QVERIFY(m_p->state().isEmpty());
}

void TestResourceDialog::playResolvesProbesAndRecords()
{
    login(true, true);
    scriptResolution(m_hostB.hostPort());
    // Host A answers with the wrong length, host B with the file.
    ScriptedResponse wrongLength = ScriptedResponse::text(payload());
    m_hostA.route("/ftn_handler/", wrongLength.withHeader("Content-Length", "999"));
    m_hostA.route("/ftn_handler/", ScriptedHttpServer::rangeResponse({}, payload().left(kFileSize - 1), "video/mp4"));
    m_hostB.serveData("/ftn_handler/C0DE", payload(), "video/mp4");
    input()->setText(kHash);
    QCOMPARE(m_p->list(kFiles)->count(), 2);
    const int hostsBefore = m_dialog->videoDomains().size();
    m_dialog->show();

    bool busyWhileOpening = false;
    QString buttonWhileOpening;
    whenTrue(
        this, [this] { return m_p->calls("open") == 1; },
        [&] {
            busyWhileOpening = m_dialog->isBusy();
            buttonWhileOpening = parseButton()->text();
            m_p->engine->emitOpenSucceeded();
        });
    m_p->clickLater(fileButton(1));
    QTRY_COMPARE(m_p->calls("open"), 1);
    QTRY_VERIFY(!m_dialog->isBusy());
    QVERIFY(busyWhileOpening);
    QCOMPARE(buttonWhileOpening, QStringLiteral("中止"));
    QCOMPARE(m_p->engine->callsNamed(QStringLiteral("open")).value(0).arguments.value(0).toString(),
             QStringLiteral("http://%1/ftn_handler/C0DE").arg(m_hostB.hostPort()));
    QCOMPARE(m_hostB.requests().value(0).header("Cookie"), QByteArray("k=v, w"));
    const QStringList writes = m_p->engine->configWrites();
    QVERIFY(writes.contains(QStringLiteral("1105=k=v, w")));
    QVERIFY(writes.contains(QStringLiteral("2207=1")));
    QVERIFY(writes.contains(QStringLiteral("2201=") + BTResourceFunctionDialog::cacheFolder() + QDir::separator()
                            + kHash + QStringLiteral("_3")));
    QVERIFY(QDir(BTResourceFunctionDialog::cacheFolder()).exists());
    // The dialog hiding and the record written are checked end to end.
    QCOMPARE(m_dialog->currentResource().fileHash, QStringLiteral("FH"));
    QCOMPARE(parseButton()->text(), QStringLiteral("解析"));
    QCOMPARE(m_dialog->videoDomains().size(), hostsBefore + 1);

    // The second play of the row skips the hash step.
    m_p->engine->setScriptedState(PlayerEngine::Ready);
    m_p->openSucceedsAt(2);
    m_p->clickLater(fileButton(1));
    QTRY_COMPARE(m_p->calls("open"), 2);
    QTRY_VERIFY(!m_dialog->isBusy());
    QCOMPARE(m_service.requestsMatching("cs0=lixian_qq").size(), 1);
    QCOMPARE(m_service.requestsMatching("cs0=qqlixian_gethttp").size(), 2);
    QCOMPARE(m_dialog->videoDomains().size(), hostsBefore + 2);
}

void TestResourceDialog::playOverAnOpenMediaWaitsForTheNewOne()
{
    scriptResolution(m_hostA.hostPort());
    serveFileOnBothHosts("/ftn_handler/C0DE");
    input()->setText(QStringLiteral("w ") + kHash);
    const int recordsBefore = m_p->list(kRecords)->count();
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
    QCOMPARE(m_dialog->currentResource().resourceIndex, 0u);
    QCOMPARE(m_p->list(kRecords)->count(), recordsBefore + 1);
    m_p->engine->setScriptedState(stateBefore);
}

void TestResourceDialog::vipRefusalShowsTheTipOnce()
{
    m_service.route("cs0=lixian_qq", ScriptedResponse::json(R"({"statu":-11,"msg":"需要开通VIP"})"));
    input()->setText(kHash.toLower());
    for (int i = 0; i < 2; ++i) {
        fileButton(0)->click();
        QCOMPARE(m_p->state(), QStringLiteral("需要开通VIP"));
        QVERIFY(!m_dialog->isBusy());
    }
    QVERIFY(VIPTipDialog::instance()->isVisible());
    QCOMPARE(VIPTipDialog::instance(), m_p->dialogs.existing(&VIPTipDialog::staticMetaObject));
    VIPTipDialog::instance()->hide();
    QCOMPARE(m_p->calls("open"), 0);
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

    // An error page ends its probe without waiting.
    m_hostA.route("/ftn_handler/", ScriptedResponse::text("no", 404));
    m_hostB.route("/ftn_handler/", ScriptedResponse::text("no", 404));
    fileButton(0)->click();
    QCOMPARE(m_p->state(), QStringLiteral("筛选视频文件播放地址失败！"));
    QVERIFY(!m_dialog->isBusy());
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
    QCOMPARE(parse->text(), QStringLiteral("解析"));
    QVERIFY(m_p->state().isEmpty());
    QCOMPARE(m_p->calls("close"), 1);
    QCOMPARE(m_p->calls("open"), 0);

    // While the media opens, "中止" closes it and the wait ends with the close.
    serveFileOnBothHosts("/ftn_handler/");
    m_p->engine->setScriptedState(PlayerEngine::Ready);
    whenTrue(
        this, [this] { return m_p->calls("open") == 1; }, [parse] { parse->click(); });
    m_p->clickLater(fileButton(0));
    QTRY_COMPARE(m_p->calls("open"), 1);
    QTRY_VERIFY(!m_dialog->isBusy());
    QCOMPARE(parse->text(), QStringLiteral("解析"));
    QVERIFY(m_p->calls("close") >= 2);
}

void TestResourceDialog::downloadNeedsPermanentVipAndADirectory()
{
    login(true, false);
    scriptResolution(m_hostB.hostPort());
    input()->setText(QStringLiteral("y ") + kHash);
    const QList<QPair<const char *, QString>> refusals = {{"downloadPushButton", QStringLiteral("下载")},
                                                          {"reloadPushButton", QStringLiteral("重新加载")}};
    for (const auto &refusal : refusals) {
        ModalAnswerer answerer({QStringLiteral("确定")});
        fileButton(0, refusal.first)->click();
        QCOMPARE(answerer.seen().value(0).title, refusal.second);
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

void TestResourceDialog::clipboardMonitorFollowsTheSetting()
{
    const auto monitor = [this] { return m_dialog->findChild<QTimer *>(QString(), Qt::FindDirectChildrenOnly); };
    m_dialog->hide();
    // Logged in with the monitor switched off: leaving a busy parse does not switch it on.
    AppConfig::setClipboardMonitor(0);
    m_dialog->setClipboardMonitorEnabled(false);
    input()->setText(QStringLiteral("z ") + kHash);
    QVERIFY(!monitor()->isActive());

    QGuiApplication::clipboard()->setText(QStringLiteral("magnet:?xt=urn:btih:") + kHash.toLower());
    AppConfig::setClipboardMonitor(1);
    input()->setText(kHash); // a parse leaves the busy state and resumes the monitor
    QTRY_COMPARE_WITH_TIMEOUT(input()->text(), QStringLiteral("magnet:?xt=urn:btih:") + kHash.toLower(), 5000);
    QVERIFY(m_dialog->isVisible());
    QCOMPARE(page(), QStringLiteral("parsePage"));

    // Copied and pasted by hand before the monitor looked: it does not bring the dialog back.
    const QString pasted = QStringLiteral("magnet:?xt=urn:btih:") + kHash.toUpper();
    QGuiApplication::clipboard()->setText(pasted);
    input()->setText(pasted);
    m_dialog->hide();
    QSignalSpy ticks(monitor(), &QTimer::timeout);
    QVERIFY(ticks.wait(5000));
    QVERIFY(m_dialog->isHidden());
    QCOMPARE(input()->text(), pasted);
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
