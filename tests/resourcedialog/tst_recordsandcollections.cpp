#include "app/AppConfig.h"
#include "app/ui/GuiResources.h"
#include "resources/PlayRecordStore.h"
#include "resources/ui/BTResourcePlayRecordListItemWidget.h"
#include "resources/ui/CollectNowPlayingResourceDialog.h"

#include "ModalAnswerer.h"
#include "ResourceDialogParts.h"
#include "ScriptedHttpServer.h"

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QStackedWidget>
#include <QtTest>

namespace {
const char *const kRecords = "playRecordPagePlayRecordListWidget";
const char *const kCollections = "collectionPageCollectionListWidget";

QString hashOf(int n)
{
    return QStringLiteral("%1").arg(n, 40, 10, QLatin1Char('c'));
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}
} // namespace

class TestRecordsAndCollections : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase() { m_p.reset(); }
    void init();
    void recordsListDeleteClearAndRandomPlay();
    void replayOfAMissingIndexPlaysNothing();
    void collectionsListCopyAndDelete();
    void collectingThePlayingFile();

private:
    void click(const char *button) { m_p->child<QPushButton>(button)->click(); }

    QTemporaryDir m_dir;
    ScriptedHttpServer m_service;
    ScriptedHttpServer m_host;
    std::unique_ptr<ResourceDialogParts> m_p;
};

void TestRecordsAndCollections::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(QDir::setCurrent(m_dir.path()));
    QVERIFY(m_service.listen() && m_host.listen());
    AppConfig::setServiceHost(m_service.hostPort());
    AppConfig::setLastAutoShowDayOfYear(uint(QDate::currentDate().dayOfYear()));
    m_service.route("cfg=video_domain",
                    ScriptedResponse::json("{\"statu\":1,\"data\":[\"" + m_host.hostPort().toUtf8() + "\"]}"));
    m_service.route("do=fav", ScriptedResponse::json(R"({"statu":1,"datas":[]})"));
    // Records written by an earlier run: more than the limit, one without an index.
    PlayRecordStore seed;
    for (int n = 102; n >= 1; --n) {
        BTResourceFile f;
        f.resourceHash = hashOf(n);
        f.resourceIndex = quint32(n % 3);
        f.fileName = QStringLiteral("file %1").arg(n);
        seed.add(f);
    }
    QCOMPARE(seed.size(), 100);
    m_p = std::make_unique<ResourceDialogParts>();
}

void TestRecordsAndCollections::init()
{
    m_service.clearRequests();
    m_p->engine->clearCalls();
}

void TestRecordsAndCollections::recordsListDeleteClearAndRandomPlay()
{
    QListWidget *list = m_p->list(kRecords);
    QCOMPARE(list->count(), 100); // loaded at construction
    QCOMPARE(m_p->row<BTResourcePlayRecordListItemWidget>(kRecords, 0)->file().fileName, QStringLiteral("file 1"));

    // Deleting a row removes it from the screen and from the file.
    m_p->rowButton(kRecords, 0, "deletePushButton")->click();
    QCOMPARE(list->count(), 99);
    PlayRecordStore onDisk;
    QVERIFY(onDisk.load());
    QCOMPARE(onDisk.size(), 99);
    QCOMPARE(onDisk.indexOf(hashOf(1), 1), -1);

    // A reload reads the file again; a file that is not JSON gives an empty list.
    const QByteArray saved = onDisk.serialized();
    writeFile(QStringLiteral("PlayRecord.dat"), "garbage");
    click("playRecordPageFlushRecordListPushButton");
    QCOMPARE(list->count(), 0);
    writeFile(QStringLiteral("PlayRecord.dat"), saved);
    click("playRecordPageFlushRecordListPushButton");
    QCOMPARE(list->count(), 99);

    // A random play parses the picked record's resource; two within the second pick the same.
    const int expected = PlayRecordStore::randomRow(99, QTime::currentTime());
    m_service.route("do=getNewHashFileList", ScriptedResponse::json(R"({"statu":0,"msg":"下架了"})"));
    click("playRecordPageRandomPlayPushButton");
    const auto parses = m_service.requestsMatching("do=getNewHashFileList");
    if (PlayRecordStore::randomRow(99, QTime::currentTime()) == expected) { // still the same second
        QCOMPARE(parses.size(), 1);
        const QString picked = m_p->row<BTResourcePlayRecordListItemWidget>(kRecords, expected)->file().resourceHash;
        QVERIFY(parses[0].target.contains("hash=" + picked.toLatin1()));
    }
    QCOMPARE(m_p->state(), QStringLiteral("下架了"));
    QCOMPARE(m_p->child<QStackedWidget>("clientStackedWidget")->currentWidget()->objectName(),
             QStringLiteral("parsePage"));

    // Clearing empties the list and deletes the file.
    click("playRecordPageClearRecordListPushButton");
    QCOMPARE(list->count(), 0);
    QVERIFY(!QFile::exists(QStringLiteral("PlayRecord.dat")));
}

void TestRecordsAndCollections::replayOfAMissingIndexPlaysNothing()
{
    m_service.route("do=getNewHashFileList",
                    ScriptedResponse::json(R"({"statu":1,"datas":[{"index":4,"name":"x.mp4","file_size":10}]})"));
    m_service.route("do=fav",
                    ScriptedResponse::json("{\"statu\":1,\"datas\":[{\"hash\":\"" + hashOf(7).toLatin1()
                                           + "\",\"index\":9,\"name\":\"收藏 一\",\"id\":31}]}"));
    click("collectionPageFlushCollectionListPushButton");
    m_p->rowButton(kCollections, 0, "playPushButton")->click();
    QCOMPARE(m_service.requestsMatching("do=getNewHashFileList").size(), 1);
    QCOMPARE(m_p->child<QLineEdit>("parsePageBTResourceLineEdit")->text(), hashOf(7));
    QCOMPARE(m_p->state(), QStringLiteral("解析BT资源成功"));
    QCOMPARE(m_service.requestsMatching("cs0=").size(), 0);
    QCOMPARE(m_p->calls("open"), 0);
}

void TestRecordsAndCollections::collectionsListCopyAndDelete()
{
    m_service.route("do=fav",
                    ScriptedResponse::json("{\"statu\":1,\"datas\":[{\"hash\":\"aBcD" + hashOf(1).mid(4).toLatin1()
                                           + "\",\"index\":2,\"name\":\"one\",\"id\":11},{\"hash\":\""
                                           + hashOf(2).toLatin1() + "\",\"index\":0,\"name\":\"two\",\"id\":12}]}"));
    click("collectionPageFlushCollectionListPushButton");
    QCOMPARE(m_service.requests().value(0).target,
             QByteArray("/server/?r=www/default/pc&do=fav&method=get&persize=100&page=1&_s=pc"));
    QListWidget *list = m_p->list(kCollections);
    QCOMPARE(list->count(), 2);

    m_p->rowButton(kCollections, 0, "copyURLPushButton")->click();
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("magnet:?xt=urn:btih:aBcD") + hashOf(1).mid(4));

    // The row goes before the service is asked and stays gone when it refuses.
    m_service.route("method=del", [list](const RecordedRequest &) {
        return ScriptedResponse::json(list->count() == 1 ? R"({"statu":0,"msg":"删除失败"})" : R"({"statu":1})");
    });
    m_p->rowButton(kCollections, 1, "deletePushButton")->click();
    QCOMPARE(m_service.requestsMatching("method=del").value(0).body,
             QByteArray("r=www/default/pc&do=fav&method=del&id=12&_s=pc"));
    QCOMPARE(list->count(), 1);
    QCOMPARE(m_p->state(), QStringLiteral("删除失败"));

    // List failures land in the state label and leave the list empty.
    m_service.route("do=fav", ScriptedResponse::drop());
    click("collectionPageFlushCollectionListPushButton");
    QCOMPARE(list->count(), 0);
    QCOMPARE(m_p->state(), QStringLiteral("连接服务器失败！"));
}

void TestRecordsAndCollections::collectingThePlayingFile()
{
    // Nothing playing: no dialog at all.
    QVERIFY(!m_p->playback.isMediaOpen());
    {
        ModalAnswerer none({QStringLiteral("确认输入(O)")});
        click("collectionPageCollectCurrentPlayingResourcePushButton");
        QVERIFY(!QApplication::activeModalWidget());
        QVERIFY(none.seen().isEmpty());
    }

    // What the collect button proposes for a playing file is covered end to end; the dialog itself here.
    BTResourceFile playing;
    playing.resourceHash = hashOf(5);
    playing.resourceIndex = 5;
    playing.fileName = QStringLiteral("电影 A.mkv");

    // An empty name is refused without a request; a refusal keeps the dialog; success reloads.
    CollectNowPlayingResourceDialog dialog(&m_p->client, playing, m_p->dialog);
    QSignalSpy reloads(&dialog, &CollectNowPlayingResourceDialog::collectionPageFlushCollectionList);
    dialog.show();
    auto *edit = dialog.findChild<QLineEdit *>(QStringLiteral("fileNameLineEdit"));
    auto *ok = dialog.findChild<QPushButton *>(QStringLiteral("okPushButton"));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("收藏当前播放资源"));
    QCOMPARE(edit->text(), playing.fileName);
    const auto expectMessage = [ok](const QString &text) {
        ModalAnswerer answerer({QStringLiteral("确定")});
        ok->click();
        QCOMPARE(answerer.seen().value(0).title, QStringLiteral("收藏"));
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
    m_service.route("method=add", ScriptedResponse::json(R"({"statu":1})"));
    ok->click();
    QVERIFY(!dialog.isVisible());
    QCOMPARE(reloads.count(), 1);
    const auto adds = m_service.requestsMatching("method=add");
    QCOMPARE(adds.size(), 2);
    QCOMPARE(adds.last().body,
             "r=www/default/pc&do=fav&method=add&name=我的 收藏&hash=" + hashOf(5).toUtf8() + "&index=5");
}

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    initGuiResources();
    TestRecordsAndCollections test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_recordsandcollections.moc"
