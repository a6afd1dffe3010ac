#include "app/AppConfig.h"
#include "app/ui/GuiResources.h"
#include "notices/ui/VIPTipDialog.h"
#include "resources/AddressResolution.h"
#include "service/Endpoints.h"
#include "resources/ui/BTResourceDownloadListItemWidget.h"
#include "resources/ui/BTResourceFunctionDialog.h"
#include "resources/ui/BTResourceParseResultListItemWidget.h"
#include "resources/ui/BTResourcePlayRecordListItemWidget.h"
#include "resources/VideoDomainList.h"

#include "Eventually.h"
#include "FakePlayerEngine.h"
#include "ResourceDialogParts.h"
#include "ModalAnswerer.h"
#include "ScriptedHttpServer.h"

#include <QApplication>
#include <QClipboard>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QtTest>

namespace {
const QString kHash = QStringLiteral("0123456789abcdefABCDEF0123456789abcdefAB");
const int kFileSize = 256 * 1024;

QByteArray payload()
{
    QByteArray bytes(kFileSize, Qt::Uninitialized);
    for (int i = 0; i < bytes.size(); ++i)
        bytes[i] = char((i * 7 + i / 251) & 0xFF);
    return bytes;
}

QByteArray fileList()
{
    return QByteArrayLiteral(R"({"statu":1,"datas":[)"
                             R"({"index":0,"name":"第一集 a.mp4","file_size":1073741824},)"
                             R"({"index":3,"name":"b.mkv","file_size":1073741823}]})");
}
} // namespace

class TestResourceDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();
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
    template <typename T> T *child(const char *name) { return m_dialog->findChild<T *>(QLatin1String(name)); }
    QString state() { return child<QLabel>("parsePageParseStateLabel")->text(); }
    QList<BTResourceParseResultListItemWidget *> rows();
    void login(bool vip, bool permanentVip);
    void scriptResolution(const QString &field);
    // Runs a play (it waits in local event loops) from the event loop, as a click does.
    void clickLater(QPushButton *button) { QTimer::singleShot(0, button, &QPushButton::click); }
    void when(const std::function<bool()> &condition, const std::function<void()> &action)
    {
        whenTrue(this, condition, action);
    }
    void openSucceedsAt(int opens)
    {
        when([this, opens] { return m_engine->callCount(QStringLiteral("open")) == opens; },
             [this] { m_engine->emitOpenSucceeded(); });
    }

    QTemporaryDir m_dir;
    ScriptedHttpServer m_service;
    ScriptedHttpServer m_hostA;
    ScriptedHttpServer m_hostB;
    std::unique_ptr<ResourceDialogParts> m_parts;
    FakePlayerEngine *m_engine = nullptr;
    BTResourceFunctionDialog *m_dialog = nullptr;
};

void TestResourceDialog::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(QDir::setCurrent(m_dir.path()));
    QVERIFY(m_service.listen() && m_hostA.listen() && m_hostB.listen());
    AppConfig::setServiceHost(m_service.hostPort());
    AppConfig::setLastAutoShowDayOfYear(uint(QDate::currentDate().dayOfYear()));
    m_service.route("cfg=video_domain", ScriptedResponse::json("{\"statu\":1,\"data\":[\"" + m_hostA.hostPort().toUtf8()
                                                               + "\"]}"));
    m_parts = std::make_unique<ResourceDialogParts>();
    m_engine = m_parts->engine;
    m_dialog = m_parts->dialog;
    QCOMPARE(m_dialog->videoDomains(), QStringList{m_hostA.hostPort()});
}

void TestResourceDialog::cleanupTestCase()
{
    m_parts.reset();
}

void TestResourceDialog::init()
{
    m_service.clearRoutes();
    m_service.clearRequests();
    m_hostA.clearRoutes();
    m_hostA.clearRequests();
    m_hostB.clearRequests();
    m_hostB.clearRoutes();
    m_engine->clearCalls();
    m_service.route("do=getNewHashFileList", ScriptedResponse::json(fileList()));
}

QList<BTResourceParseResultListItemWidget *> TestResourceDialog::rows()
{
    QList<BTResourceParseResultListItemWidget *> found;
    auto *list = child<QListWidget>("parsePageParseResultListWidget");
    for (int i = 0; i < list->count(); ++i)
        found << qobject_cast<BTResourceParseResultListItemWidget *>(list->itemWidget(list->item(i)));
    return found;
}

void TestResourceDialog::login(bool vip, bool permanentVip)
{
    m_service.route("do=login", ScriptedResponse::json(QStringLiteral(R"({"statu":1,"data":{"isvip":%1,"issvip":"%2"}})")
                                                           .arg(vip ? 1 : 0)
                                                           .arg(permanentVip ? QStringLiteral("true") : QString())
                                                           .toUtf8()));
    AccountSession &session = m_parts->session;
    QVERIFY(session.logIn(QStringLiteral("u"), QStringLiteral("p"), false).succeeded());
    QCOMPARE(session.vip(), vip);
    QCOMPARE(session.permanentVip(), permanentVip);
}

void TestResourceDialog::scriptResolution(const QString &field)
{
    m_service.route("cs0=lixian_qq", ScriptedResponse::json(QStringLiteral(R"({"statu":1,"data":{"hash":"FH","index":7,)"
                                                                           R"("size":%1,"jxhash":"JX"}})")
                                                               .arg(kFileSize)
                                                               .toUtf8()));
    m_service.route("cs0=qqlixian_gethttp", ScriptedResponse::json(QStringLiteral(R"({"statu":1,"data":{"code":"C0DE",)"
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
    QCOMPARE(Endpoints::fileHash(file, QStringLiteral("M")).parameters.join(QLatin1Char('&')),
             QStringLiteral("r=www/default/pc&cs0=lixian_qq&hash=%1&index=3&name=影 片.mp4&_mac=M&_s=pc").arg(kHash));
    const QString base = QStringLiteral("r=www/default/pc&cs0=qqlixian_gethttp&hash=FH&index=7&jxhash=JX&size=1234");
    // The main line sends neither netType nor reload, whatever the button.
    QCOMPARE(Endpoints::fileInfo(file, 0, true, QStringLiteral("M")).parameters.join(QLatin1Char('&')),
             base + QStringLiteral("&_mac=M&_s=pc"));
    QCOMPARE(Endpoints::fileInfo(file, 1, false, QStringLiteral("M")).parameters.join(QLatin1Char('&')),
             base + QStringLiteral("&netType=dianxin&_mac=M&_s=pc"));
    QCOMPARE(Endpoints::fileInfo(file, 6, true, QStringLiteral("M")).parameters.join(QLatin1Char('&')),
             base + QStringLiteral("&netType=changcheng &reload=1&_mac=M&_s=pc"));

    QCOMPARE(AddressResolution::playAddress(QStringLiteral("h:1"), QStringLiteral("C")),
             QStringLiteral("http://h:1/ftn_handler/C"));
    const QString download = AddressResolution::downloadAddress(QStringLiteral("h:1"), QStringLiteral("C"), QTime(1, 2, 3));
    QVERIFY(QRegularExpression(QStringLiteral("^http://h:1/[1-9][0-9]{7}\\.mp4\\?ver=5063&rkey=C/$")).match(download).hasMatch());
    QCOMPARE(AddressResolution::downloadAddress(QStringLiteral("h:1"), QStringLiteral("C"), QTime(1, 2, 3)), download);

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
    m_service.route("cfg=video_domain", ScriptedResponse::json(R"({"statu":0,"data":["h1:80","h2:81"]})"));

    // Already fetched today and no file: nothing, and no request.
    AppConfig::setLatestRequestVideoDomainsDayOfYear(uint(QDate::currentDate().dayOfYear()));
    QVERIFY(VideoDomainList::load(&m_parts->client, file).isEmpty());
    QVERIFY(m_service.requests().isEmpty());

    // Another day: fetched (statu is not looked at) and written one host a line.
    AppConfig::setLatestRequestVideoDomainsDayOfYear(0);
    QCOMPARE(VideoDomainList::load(&m_parts->client, file), (QStringList{QStringLiteral("h1:80"), QStringLiteral("h2:81")}));
    QCOMPARE(m_service.requests().size(), 1);
    QVERIFY(m_service.requests()[0].target.contains("cfg=video_domain&_s=pc&sign="));
    QFile written(file);
    QVERIFY(written.open(QIODevice::ReadOnly));
    QCOMPARE(written.readAll(), QByteArray("h1:80\nh2:81\n"));
    QCOMPARE(AppConfig::latestRequestVideoDomainsDayOfYear(), uint(QDate::currentDate().dayOfYear()));

    // The same day again reads the file.
    QCOMPARE(VideoDomainList::load(&m_parts->client, file), (QStringList{QStringLiteral("h1:80"), QStringLiteral("h2:81")}));
    QCOMPARE(m_service.requests().size(), 1);
}

void TestResourceDialog::parseShowsFilesAndFailures()
{
    auto *edit = child<QLineEdit>("parsePageBTResourceLineEdit");
    edit->clear();
    QTest::keyClicks(edit, kHash.left(39));
    QCOMPARE(state(), QStringLiteral("请输入有效的BT资源！"));
    QVERIFY(m_service.requests().isEmpty());
    QTest::keyClicks(edit, kHash.right(1));
    QCOMPARE(state(), QStringLiteral("解析BT资源成功"));
    QCOMPARE(m_service.requests().size(), 1);
    QVERIFY(m_service.requests()[0].target.contains("do=getNewHashFileList&hash=" + kHash.toLatin1() + "&_s=pc&sign="));
    QCOMPARE(rows().size(), 2);
    QCOMPARE(rows()[0]->file().fileName, QStringLiteral("第一集 a.mp4"));
    QCOMPARE(rows()[1]->file().resourceIndex, 3u);
    QCOMPARE(rows()[0]->findChild<QLabel *>(QStringLiteral("fileSizeLabel"))->text(), QStringLiteral("1.00G"));
    QCOMPARE(rows()[1]->findChild<QLabel *>(QStringLiteral("fileSizeLabel"))->text(), QStringLiteral("1024.00MB"));
    QVERIFY(!m_dialog->isBusy());

    // The same text again starts nothing; a magnet link with the same hash parses again.
    edit->setText(kHash);
    QCOMPARE(m_service.requests().size(), 1);
    edit->setText(QStringLiteral("magnet:?xt=urn:btih:") + kHash + QStringLiteral("&dn=x"));
    QCOMPARE(m_service.requests().size(), 2);

    const QList<QPair<ScriptedResponse, QString>> cases = {
        {ScriptedResponse::drop(), QStringLiteral("连接服务器失败！")},
        {ScriptedResponse::text("oops"), QStringLiteral("服务器返回数据异常！")},
        {ScriptedResponse::json(R"({"statu":0,"msg":"资源不存在"})"), QStringLiteral("资源不存在")},
        {ScriptedResponse::json(R"({"statu":1,"datas":[]})"), QStringLiteral("解析BT资源成功")},
    };
    for (const auto &c : cases) {
        m_service.route("do=getNewHashFileList", c.first);
        child<QPushButton>("parsePageParseBTResourcePushButton")->click();
        QCOMPARE(state(), c.second);
        QVERIFY(rows().isEmpty());
        QVERIFY(!m_dialog->isBusy());
        QVERIFY(edit->isEnabled());
    }
    edit->clear();
    QVERIFY(state().isEmpty());
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
    child<QLineEdit>("parsePageBTResourceLineEdit")->setText(kHash);
    QCOMPARE(rows().size(), 2);
    const int hostsBefore = m_dialog->videoDomains().size();
    m_dialog->show();

    bool busyWhileOpening = false;
    QString buttonWhileOpening;
    when([this] { return m_engine->callCount(QStringLiteral("open")) == 1; },
         [&] {
             busyWhileOpening = m_dialog->isBusy();
             buttonWhileOpening = child<QPushButton>("parsePageParseBTResourcePushButton")->text();
             m_engine->emitOpenSucceeded();
         });
    clickLater(rows()[1]->findChild<QPushButton *>(QStringLiteral("playPushButton")));
    QTRY_COMPARE(m_engine->callCount(QStringLiteral("open")), 1);
    QTRY_VERIFY(!m_dialog->isBusy());
    QVERIFY(busyWhileOpening);
    QCOMPARE(buttonWhileOpening, QStringLiteral("中止"));
    const auto open = m_engine->callsNamed(QStringLiteral("open")).value(0);
    QCOMPARE(open.arguments.value(0).toString(), QStringLiteral("http://%1/ftn_handler/C0DE").arg(m_hostB.hostPort()));
    QVERIFY(m_hostB.requests().value(0).header("Cookie") == "k=v, w");
    const QStringList writes = m_engine->configWrites();
    QVERIFY(writes.contains(QStringLiteral("1105=k=v, w")));
    QVERIFY(writes.contains(QStringLiteral("2207=1")));
    QVERIFY(writes.contains(QStringLiteral("2201=") + BTResourceFunctionDialog::cacheFolder() + QDir::separator()
                            + kHash + QStringLiteral("_3")));
    QVERIFY(QDir(BTResourceFunctionDialog::cacheFolder()).exists());
    QVERIFY(m_dialog->isHidden());
    QCOMPARE(m_dialog->currentResource().resourceIndex, 3u);
    QCOMPARE(m_dialog->currentResource().fileHash, QStringLiteral("FH"));
    QCOMPARE(child<QPushButton>("parsePageParseBTResourcePushButton")->text(), QStringLiteral("解析"));
    QVERIFY(QFile::exists(QStringLiteral("PlayRecord.dat")));
    auto *records = child<QListWidget>("playRecordPagePlayRecordListWidget");
    QCOMPARE(records->count(), 1);
    QCOMPARE(m_dialog->videoDomains().size(), hostsBefore + 1);

    // The second play of the row skips the hash step; opening it again keeps one record.
    m_engine->setScriptedState(PlayerEngine::Ready);
    openSucceedsAt(2);
    clickLater(rows()[1]->findChild<QPushButton *>(QStringLiteral("playPushButton")));
    QTRY_COMPARE(m_engine->callCount(QStringLiteral("open")), 2);
    QTRY_VERIFY(!m_dialog->isBusy());
    QCOMPARE(m_service.requestsMatching("cs0=lixian_qq").size(), 1);
    QCOMPARE(m_service.requestsMatching("cs0=qqlixian_gethttp").size(), 2);
    QCOMPARE(m_dialog->videoDomains().size(), hostsBefore + 2);
    QCOMPARE(records->count(), 1);

    // Replaying the record parses the resource again and plays the file of the same index.
    m_engine->setScriptedState(PlayerEngine::Ready);
    openSucceedsAt(3);
    clickLater(qobject_cast<BTResourcePlayRecordListItemWidget *>(records->itemWidget(records->item(0)))
                   ->findChild<QPushButton *>(QStringLiteral("playPushButton")));
    QTRY_COMPARE(m_engine->callCount(QStringLiteral("open")), 3);
    QTRY_VERIFY(!m_dialog->isBusy());
    QCOMPARE(m_dialog->currentResource().resourceIndex, 3u);
}

void TestResourceDialog::playOverAnOpenMediaWaitsForTheNewOne()
{
    scriptResolution(m_hostA.hostPort());
    m_hostA.serveData("/ftn_handler/C0DE", payload(), "video/mp4");
    m_hostB.serveData("/ftn_handler/C0DE", payload(), "video/mp4");
    child<QLineEdit>("parsePageBTResourceLineEdit")->setText(QStringLiteral("w ") + kHash);
    QCOMPARE(rows().size(), 2);
    auto *records = child<QListWidget>("playRecordPagePlayRecordListWidget");
    const int recordsBefore = records->count();
    const int stateBefore = m_engine->state();

    // The playing media closes first (an event of the old media), then the new one opens later.
    m_engine->setScriptedState(PlayerEngine::Playing);
    bool busyAfterOldClose = false;
    when([this] { return m_engine->callCount(QStringLiteral("open")) == 1; },
         [&] {
             m_engine->emitStateChange(PlayerEngine::Closing);
             m_engine->emitStateChange(PlayerEngine::Ready);
             m_engine->emitStateChange(PlayerEngine::Opening);
             QTimer::singleShot(100, this, [&] {
                 busyAfterOldClose = m_dialog->isBusy();
                 m_engine->emitOpenSucceeded();
             });
         });
    clickLater(rows()[0]->findChild<QPushButton *>(QStringLiteral("playPushButton")));
    QTRY_VERIFY(busyAfterOldClose);
    QTRY_VERIFY(!m_dialog->isBusy());
    QCOMPARE(m_dialog->currentResource().resourceIndex, 0u);
    QCOMPARE(records->count(), recordsBefore + 1);
    m_engine->setScriptedState(stateBefore);
}

void TestResourceDialog::vipRefusalShowsTheTipOnce()
{
    m_service.route("cs0=lixian_qq", ScriptedResponse::json(R"({"statu":-11,"msg":"需要开通VIP"})"));
    child<QLineEdit>("parsePageBTResourceLineEdit")->setText(kHash.toLower());
    for (int i = 0; i < 2; ++i) {
        rows()[0]->findChild<QPushButton *>(QStringLiteral("playPushButton"))->click();
        QCOMPARE(state(), QStringLiteral("需要开通VIP"));
        QVERIFY(!m_dialog->isBusy());
    }
    QVERIFY(VIPTipDialog::instance()->isVisible());
    QCOMPARE(VIPTipDialog::instance(), m_parts->dialogs.existing(&VIPTipDialog::staticMetaObject));
    VIPTipDialog::instance()->hide();
    QCOMPARE(m_engine->callCount(QStringLiteral("open")), 0);
}

void TestResourceDialog::unacceptableHostsAreSkipped()
{
    scriptResolution(m_hostB.hostPort());
    ScriptedResponse slow = ScriptedHttpServer::rangeResponse({}, payload(), "video/mp4");
    slow.delayMs = 900;
    m_hostA.route("/ftn_handler/", slow);
    ScriptedResponse noLength = ScriptedResponse::text(payload());
    noLength.contentLength = false;
    noLength.withHeader("Connection", "close");
    m_hostB.route("/ftn_handler/", noLength);
    child<QLineEdit>("parsePageBTResourceLineEdit")->setText(kHash.toUpper());
    rows()[0]->findChild<QPushButton *>(QStringLiteral("playPushButton"))->click();
    QCOMPARE(state(), QStringLiteral("筛选视频文件播放地址失败！"));
    QCOMPARE(m_engine->callCount(QStringLiteral("open")), 0);

    // An error page ends its probe without waiting.
    m_hostA.route("/ftn_handler/", ScriptedResponse::text("no", 404));
    m_hostB.route("/ftn_handler/", ScriptedResponse::text("no", 404));
    rows()[0]->findChild<QPushButton *>(QStringLiteral("playPushButton"))->click();
    QCOMPARE(state(), QStringLiteral("筛选视频文件播放地址失败！"));
    QVERIFY(!m_dialog->isBusy());
}

void TestResourceDialog::abortWhileProbingAndWhileOpening()
{
    scriptResolution(m_hostB.hostPort());
    m_hostA.route("/ftn_handler/", ScriptedResponse::hang());
    m_hostB.route("/ftn_handler/", ScriptedResponse::hang());
    child<QLineEdit>("parsePageBTResourceLineEdit")->setText(QStringLiteral("x ") + kHash);
    auto *parse = child<QPushButton>("parsePageParseBTResourcePushButton");
    bool enabledWhileProbing = false;
    when([&] { return parse->text() == QStringLiteral("中止") && !m_hostA.requests().isEmpty(); },
         [&] {
             enabledWhileProbing = parse->isEnabled();
             parse->click();
         });
    clickLater(rows()[0]->findChild<QPushButton *>(QStringLiteral("playPushButton")));
    QTRY_VERIFY(enabledWhileProbing);
    QTRY_VERIFY(!m_dialog->isBusy());
    QCOMPARE(parse->text(), QStringLiteral("解析"));
    QVERIFY(state().isEmpty());
    QCOMPARE(m_engine->callCount(QStringLiteral("close")), 1);
    QCOMPARE(m_engine->callCount(QStringLiteral("open")), 0);

    // While the media opens, "中止" closes it and the wait ends with the close.
    m_hostA.serveData("/ftn_handler/", payload(), "video/mp4");
    m_hostB.serveData("/ftn_handler/", payload(), "video/mp4");
    m_engine->setScriptedState(PlayerEngine::Ready);
    when([this] { return m_engine->callCount(QStringLiteral("open")) == 1; }, [parse] { parse->click(); });
    clickLater(rows()[0]->findChild<QPushButton *>(QStringLiteral("playPushButton")));
    QTRY_COMPARE(m_engine->callCount(QStringLiteral("open")), 1);
    QTRY_VERIFY(!m_dialog->isBusy());
    QCOMPARE(parse->text(), QStringLiteral("解析"));
    QVERIFY(m_engine->callCount(QStringLiteral("close")) >= 2);
}

void TestResourceDialog::downloadNeedsPermanentVipAndADirectory()
{
    login(true, false);
    scriptResolution(m_hostB.hostPort());
    child<QLineEdit>("parsePageBTResourceLineEdit")->setText(QStringLiteral("y ") + kHash);
    {
        ModalAnswerer answerer({QStringLiteral("确定")});
        rows()[0]->findChild<QPushButton *>(QStringLiteral("downloadPushButton"))->click();
        QCOMPARE(answerer.seen().value(0).title, QStringLiteral("下载"));
        QCOMPARE(answerer.seen().value(0).text, QStringLiteral("非永久vip不可用！"));
        ModalAnswerer reload({QStringLiteral("确定")});
        rows()[0]->findChild<QPushButton *>(QStringLiteral("reloadPushButton"))->click();
        QCOMPARE(reload.seen().value(0).title, QStringLiteral("重新加载"));
    }
    QVERIFY(m_service.requestsMatching("cs0=").isEmpty());

    login(true, true);
    m_hostA.serveData("rkey=C0DE/", payload(), "video/mp4");
    m_hostB.serveData("rkey=C0DE/", payload(), "video/mp4");
    auto *directory = child<QLineEdit>("downloadPageDownloadDirectoryLineEdit");
    directory->clear();
    rows()[0]->findChild<QPushButton *>(QStringLiteral("downloadPushButton"))->click();
    QCOMPARE(state(), QStringLiteral("请先设置下载目录，再重新点击下载。"));
    const auto downloadRequest = (m_hostA.requestsMatching("rkey=") + m_hostB.requestsMatching("rkey=")).value(0);
    QVERIFY(QRegularExpression(QStringLiteral("^/[1-9][0-9]{7}\\.mp4\\?ver=5063&rkey=C0DE/$"))
                .match(QString::fromLatin1(downloadRequest.target))
                .hasMatch());

    QTemporaryDir target;
    directory->setText(target.path());
    rows()[0]->findChild<QPushButton *>(QStringLiteral("downloadPushButton"))->click();
    QCOMPARE(child<QStackedWidget>("clientStackedWidget")->currentWidget()->objectName(), QStringLiteral("downloadPage"));
    auto *downloads = child<QListWidget>("downloadPageDownloadListWidget");
    QCOMPARE(downloads->count(), 1);
    const QString saved = QDir(target.path()).filePath(QStringLiteral("第一集 a.mp4"));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(saved), 10000);
    QFile file(saved);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), payload());
}

void TestResourceDialog::clipboardMonitorFollowsTheSetting()
{
    auto *edit = child<QLineEdit>("parsePageBTResourceLineEdit");
    m_dialog->hide();
    // Logged in with the monitor switched off: leaving a busy parse does not switch it on.
    AppConfig::setClipboardMonitor(0);
    m_dialog->setClipboardMonitorEnabled(false);
    edit->setText(QStringLiteral("z ") + kHash);
    QGuiApplication::clipboard()->setText(QStringLiteral("magnet:?xt=urn:btih:") + kHash.toLower());
    QTest::qWait(1500);
    QCOMPARE(edit->text(), QStringLiteral("z ") + kHash);

    AppConfig::setClipboardMonitor(1);
    edit->setText(kHash); // a parse leaves the busy state and resumes the monitor
    QTRY_COMPARE_WITH_TIMEOUT(edit->text(), QStringLiteral("magnet:?xt=urn:btih:") + kHash.toLower(), 5000);
    QVERIFY(m_dialog->isVisible());
    QCOMPARE(child<QStackedWidget>("clientStackedWidget")->currentWidget()->objectName(), QStringLiteral("parsePage"));

    // Copied and pasted by hand before the monitor looked: it does not bring the dialog back.
    const QString pasted = QStringLiteral("magnet:?xt=urn:btih:") + kHash.toUpper();
    QGuiApplication::clipboard()->setText(pasted);
    edit->setText(pasted);
    m_dialog->hide();
    QTest::qWait(1500);
    QVERIFY(m_dialog->isHidden());
    QCOMPARE(edit->text(), pasted);
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
