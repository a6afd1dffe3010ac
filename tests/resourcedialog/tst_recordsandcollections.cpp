#include "app/AppConfig.h"
#include "app/ui/GuiResources.h"
#include "resources/ui/CollectNowPlayingResourceDialog.h"

#include "ModalAnswerer.h"
#include "ResourceDialogParts.h"
#include "ScriptedHttpServer.h"

#include <QApplication>
#include <QLineEdit>
#include <QtTest>

// Collections as the service cannot show them: refusals and missing rows (an unreadable record
// file is tst_mainwindowinput's, with the pointer, and tst_playrecordstore's).
namespace {
const char *const kCollections = "collectionPageCollectionListWidget";

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
    void cleanupTestCase() { m_p.reset(); }
    void init();
    void replayOfAMissingIndexPlaysNothing();
    void collectionRefusals();
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
    m_p = std::make_unique<ResourceDialogParts>();
}

void TestRecordsAndCollections::init()
{
    m_service.clearRequests();
    m_p->engine->clearCalls();
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
    QCOMPARE(m_p->state(), QStringLiteral("解析BT资源成功"));
    QCOMPARE(m_service.requestsMatching("cs0=").size(), 0);
    QCOMPARE(m_p->calls("open"), 0);
}

void TestRecordsAndCollections::collectionRefusals()
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

void TestRecordsAndCollections::collectingThePlayingFile()
{
    // An empty name is refused without a request; a refusal keeps the dialog (success: end to end).
    BTResourceFile playing;
    playing.resourceHash = hashOf(5);
    CollectNowPlayingResourceDialog dialog(&m_p->client, playing, m_p->dialog);
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

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    initGuiResources();
    TestRecordsAndCollections test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_recordsandcollections.moc"
