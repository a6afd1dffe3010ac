#include "app/AppConfig.h"
#include "app/ui/GuiResources.h"
#include "resources/ui/BTResourceCollectionListItemWidget.h"
#include "resources/ui/BTResourceFunctionDialog.h"
#include "resources/ui/CollectNowPlayingResourceDialog.h"
#include "resources/ui/BTResourceParseResultListItemWidget.h"
#include "resources/ui/BTResourcePlayRecordListItemWidget.h"
#include "resources/PlayRecordStore.h"

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
QString hashOf(int n)
{
    return QStringLiteral("%1").arg(n, 40, 10, QLatin1Char('c'));
}
} // namespace

class TestRecordsAndCollections : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void recordsListDeleteClearAndRandomPlay();
    void replayOfAMissingIndexPlaysNothing();
    void collectionsListCopyAndDelete();
    void collectingThePlayingFile();

private:
    template <typename T> T *child(const char *name) { return m_dialog->findChild<T *>(QLatin1String(name)); }
    QString state() { return child<QLabel>("parsePageParseStateLabel")->text(); }
    template <typename Row> Row *row(const char *list, int i)
    {
        auto *w = child<QListWidget>(list);
        return qobject_cast<Row *>(w->itemWidget(w->item(i)));
    }
    void when(const std::function<bool()> &condition, const std::function<void()> &action)
    {
        whenTrue(this, condition, action);
    }

    QTemporaryDir m_dir;
    ScriptedHttpServer m_service;
    ScriptedHttpServer m_host;
    std::unique_ptr<ResourceDialogParts> m_parts;
    FakePlayerEngine *m_engine = nullptr;
    BTResourceFunctionDialog *m_dialog = nullptr;
};

void TestRecordsAndCollections::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(QDir::setCurrent(m_dir.path()));
    QVERIFY(m_service.listen() && m_host.listen());
    AppConfig::setServiceHost(m_service.hostPort());
    AppConfig::setLastAutoShowDayOfYear(uint(QDate::currentDate().dayOfYear()));
    m_service.route("cfg=video_domain", ScriptedResponse::json("{\"statu\":1,\"data\":[\"" + m_host.hostPort().toUtf8() + "\"]}"));
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
    m_parts = std::make_unique<ResourceDialogParts>();
    m_engine = m_parts->engine;
    m_dialog = m_parts->dialog;
}

void TestRecordsAndCollections::cleanupTestCase()
{
    m_parts.reset();
}

void TestRecordsAndCollections::init()
{
    m_service.clearRequests();
    m_engine->clearCalls();
}

void TestRecordsAndCollections::recordsListDeleteClearAndRandomPlay()
{
    auto *list = child<QListWidget>("playRecordPagePlayRecordListWidget");
    QCOMPARE(list->count(), 100); // loaded at construction
    QCOMPARE(row<BTResourcePlayRecordListItemWidget>("playRecordPagePlayRecordListWidget", 0)->file().fileName,
             QStringLiteral("file 1"));

    // Deleting a row removes it from the screen and from the file.
    row<BTResourcePlayRecordListItemWidget>("playRecordPagePlayRecordListWidget", 0)
        ->findChild<QPushButton *>(QStringLiteral("deletePushButton"))
        ->click();
    QCOMPARE(list->count(), 99);
    PlayRecordStore onDisk;
    QVERIFY(onDisk.load());
    QCOMPARE(onDisk.size(), 99);
    QCOMPARE(onDisk.indexOf(hashOf(1), 1), -1);

    // A reload reads the file again; a file that is not JSON gives an empty list.
    child<QPushButton>("playRecordPageFlushRecordListPushButton")->click();
    QCOMPARE(list->count(), 99);
    QFile file(QStringLiteral("PlayRecord.dat"));
    const QByteArray saved = [&] { file.open(QIODevice::ReadOnly); const QByteArray b = file.readAll(); file.close(); return b; }();
    file.open(QIODevice::WriteOnly);
    file.write("garbage");
    file.close();
    child<QPushButton>("playRecordPageFlushRecordListPushButton")->click();
    QCOMPARE(list->count(), 0);
    file.open(QIODevice::WriteOnly);
    file.write(saved);
    file.close();
    child<QPushButton>("playRecordPageFlushRecordListPushButton")->click();
    QCOMPARE(list->count(), 99);

    // A random play parses the picked record's resource; two within the second pick the same.
    const int expected = PlayRecordStore::randomRow(99, QTime::currentTime());
    m_service.route("do=getNewHashFileList", ScriptedResponse::json(R"({"statu":0,"msg":"下架了"})"));
    child<QPushButton>("playRecordPageRandomPlayPushButton")->click();
    const auto parses = m_service.requestsMatching("do=getNewHashFileList");
    if (PlayRecordStore::randomRow(99, QTime::currentTime()) == expected) { // still the same second
        QCOMPARE(parses.size(), 1);
        const QString picked = row<BTResourcePlayRecordListItemWidget>("playRecordPagePlayRecordListWidget", expected)
                                   ->file().resourceHash;
        QVERIFY(parses[0].target.contains("hash=" + picked.toLatin1()));
    }
    QCOMPARE(state(), QStringLiteral("下架了"));
    QCOMPARE(child<QStackedWidget>("clientStackedWidget")->currentWidget()->objectName(), QStringLiteral("parsePage"));

    // Clearing empties the list and deletes the file.
    child<QPushButton>("playRecordPageClearRecordListPushButton")->click();
    QCOMPARE(list->count(), 0);
    QVERIFY(!QFile::exists(QStringLiteral("PlayRecord.dat")));
}

void TestRecordsAndCollections::replayOfAMissingIndexPlaysNothing()
{
    m_service.route("do=getNewHashFileList",
                    ScriptedResponse::json(R"({"statu":1,"datas":[{"index":4,"name":"x.mp4","file_size":10}]})"));
    m_service.route("do=fav", ScriptedResponse::json(
                                  "{\"statu\":1,\"datas\":[{\"hash\":\"" + hashOf(7).toLatin1()
                                  + "\",\"index\":9,\"name\":\"收藏 一\",\"id\":31}]}"));
    child<QPushButton>("collectionPageFlushCollectionListPushButton")->click();
    auto *entry = row<BTResourceCollectionListItemWidget>("collectionPageCollectionListWidget", 0);
    QVERIFY(entry);
    entry->findChild<QPushButton *>(QStringLiteral("playPushButton"))->click();
    QCOMPARE(m_service.requestsMatching("do=getNewHashFileList").size(), 1);
    QCOMPARE(child<QLineEdit>("parsePageBTResourceLineEdit")->text(), hashOf(7));
    QCOMPARE(state(), QStringLiteral("解析BT资源成功"));
    QCOMPARE(m_service.requestsMatching("cs0=").size(), 0);
    QCOMPARE(m_engine->callCount(QStringLiteral("open")), 0);
}

void TestRecordsAndCollections::collectionsListCopyAndDelete()
{
    m_service.route("do=fav", ScriptedResponse::json(
                                  "{\"statu\":1,\"datas\":[{\"hash\":\"aBcD" + hashOf(1).mid(4).toLatin1()
                                  + "\",\"index\":2,\"name\":\"one\",\"id\":11},"
                                    "{\"hash\":\""
                                  + hashOf(2).toLatin1() + "\",\"index\":0,\"name\":\"two\",\"id\":12}]}"));
    child<QPushButton>("collectionPageFlushCollectionListPushButton")->click();
    QCOMPARE(m_service.requests().value(0).target, QByteArray("/server/?r=www/default/pc&do=fav&method=get&persize=100&page=1&_s=pc"));
    auto *list = child<QListWidget>("collectionPageCollectionListWidget");
    QCOMPARE(list->count(), 2);

    row<BTResourceCollectionListItemWidget>("collectionPageCollectionListWidget", 0)
        ->findChild<QPushButton *>(QStringLiteral("copyURLPushButton"))
        ->click();
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("magnet:?xt=urn:btih:aBcD") + hashOf(1).mid(4));

    // The row goes before the service is asked and stays gone when it refuses.
    m_service.route("method=del", ScriptedResponse::json(R"({"statu":0,"msg":"删除失败"})"));
    m_service.route("method=del", [list](const RecordedRequest &) {
        return ScriptedResponse::json(list->count() == 1 ? R"({"statu":0,"msg":"删除失败"})" : R"({"statu":1})");
    });
    row<BTResourceCollectionListItemWidget>("collectionPageCollectionListWidget", 1)
        ->findChild<QPushButton *>(QStringLiteral("deletePushButton"))
        ->click();
    QCOMPARE(m_service.requestsMatching("method=del").value(0).body, QByteArray("r=www/default/pc&do=fav&method=del&id=12&_s=pc"));
    QCOMPARE(list->count(), 1);
    QCOMPARE(state(), QStringLiteral("删除失败"));

    // List failures land in the state label and leave the list empty.
    m_service.route("do=fav", ScriptedResponse::drop());
    child<QPushButton>("collectionPageFlushCollectionListPushButton")->click();
    QCOMPARE(list->count(), 0);
    QCOMPARE(state(), QStringLiteral("连接服务器失败！"));
}

void TestRecordsAndCollections::collectingThePlayingFile()
{
    // Nothing playing: no dialog at all.
    {
        ModalAnswerer none({QStringLiteral("确认输入(O)")});
        child<QPushButton>("collectionPageCollectCurrentPlayingResourcePushButton")->click();
        QTest::qWait(100);
        QVERIFY(none.seen().isEmpty());
    }

    // Play a file so that there is something to collect.
    m_service.route("do=getNewHashFileList",
                    ScriptedResponse::json(R"({"statu":1,"datas":[{"index":5,"name":"电影 A.mkv","file_size":4096}]})"));
    m_service.route("cs0=lixian_qq", ScriptedResponse::json(R"({"statu":1,"data":{"size":4096,"jxhash":"J"}})"));
    m_service.route("cs0=qqlixian_gethttp", ScriptedResponse::json(R"({"statu":1,"data":{"code":"K","com_cookie":"c=1"}})"));
    m_host.serveData("/ftn_handler/K", QByteArray(4096, 'v'), "video/x-matroska");
    child<QLineEdit>("parsePageBTResourceLineEdit")->setText(hashOf(5));
    when([this] { return m_engine->callCount(QStringLiteral("open")) == 1; }, [this] { m_engine->emitOpenSucceeded(); });
    QTimer::singleShot(0, [this] {
        row<BTResourceParseResultListItemWidget>("parsePageParseResultListWidget", 0)
            ->findChild<QPushButton *>(QStringLiteral("playPushButton"))
            ->click();
    });
    QTRY_VERIFY(m_parts->playback.isMediaOpen());
    QTRY_VERIFY(!m_dialog->isBusy());
    QVERIFY(child<QListWidget>("playRecordPagePlayRecordListWidget")->count() >= 1);

    // The collect button opens the dialog for the playing file.
    QString initialName;
    QTimer::singleShot(200, [&] {
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        initialName = dialog->windowTitle() + QLatin1Char('|')
                      + dialog->findChild<QLineEdit *>(QStringLiteral("fileNameLineEdit"))->text();
        dialog->findChild<QPushButton *>(QStringLiteral("cancelPushButton"))->click();
    });
    child<QPushButton>("collectionPageCollectCurrentPlayingResourcePushButton")->click();
    QCOMPARE(initialName, QStringLiteral("收藏当前播放资源|电影 A.mkv"));
    QVERIFY(m_service.requestsMatching("method=add").isEmpty());

    // An empty name is refused without a request; a refusal keeps the dialog; success reloads.
    CollectNowPlayingResourceDialog dialog(&m_parts->client, m_dialog->currentResource(), m_dialog);
    QSignalSpy reloads(&dialog, &CollectNowPlayingResourceDialog::collectionPageFlushCollectionList);
    dialog.show();
    auto *edit = dialog.findChild<QLineEdit *>(QStringLiteral("fileNameLineEdit"));
    auto *ok = dialog.findChild<QPushButton *>(QStringLiteral("okPushButton"));
    edit->clear();
    {
        ModalAnswerer answerer({QStringLiteral("确定")});
        ok->click();
        QCOMPARE(answerer.seen().value(0).title, QStringLiteral("收藏"));
        QCOMPARE(answerer.seen().value(0).text, QStringLiteral("名称不能为空！"));
    }
    QVERIFY(m_service.requestsMatching("method=add").isEmpty());
    m_service.route("method=add", ScriptedResponse::json(R"({"statu":0,"msg":"已收藏"})"));
    edit->setText(QStringLiteral("我的 收藏"));
    {
        ModalAnswerer answerer({QStringLiteral("确定")});
        ok->click();
        QCOMPARE(answerer.seen().value(0).text, QStringLiteral("已收藏"));
    }
    QVERIFY(dialog.isVisible());
    QCOMPARE(reloads.count(), 0);
    m_service.route("method=add", ScriptedResponse::json(R"({"statu":1})"));
    ok->click();
    QVERIFY(!dialog.isVisible());
    QCOMPARE(reloads.count(), 1);
    const auto adds = m_service.requestsMatching("method=add");
    QCOMPARE(adds.size(), 2);
    QCOMPARE(adds.last().body, "r=www/default/pc&do=fav&method=add&name=我的 收藏&hash=" + hashOf(5).toUtf8() + "&index=5");
}

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    initGuiResources();
    TestRecordsAndCollections test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_recordsandcollections.moc"
