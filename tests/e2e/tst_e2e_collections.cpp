#include "account/ui/AccountFunctionDialog.h"
#include "app/ui/GuiResources.h"
#include "player/mpv/MpvPlayerEngine.h"
#include "resources/ui/BTResourceCollectionListItemWidget.h"
#include "resources/ui/BTResourceFunctionDialog.h"
#include "resources/ui/BTResourceParseResultListItemWidget.h"
#include "resources/ui/CollectNowPlayingResourceDialog.h"
#include "resources/protocol/ResourceInput.h"
#include "app/ui/Application.h"
#include "player/PlaybackController.h"

#include "EndToEnd.h"
#include "ModalAnswerer.h"
#include "ServiceProcess.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <clocale>
#include <memory>

// The playing file is collected under a name on the demo account, listed, and deleted, all
// against a started service.
class TestEndToEndCollections : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void collectListAndDelete();

private:
    template <typename T> T *child(const char *name) { return m_dialog->findChild<T *>(QLatin1String(name)); }
    QString state() { return child<QLabel>("parsePageParseStateLabel")->text(); }
    QList<BTResourceCollectionListItemWidget *> collections();
    BTResourceCollectionListItemWidget *collectionNamed(const QString &name);

    QTemporaryDir m_dir;
    std::unique_ptr<ServiceProcess> m_service;
    QString m_magnet;
    MpvPlayerEngine *m_engine = nullptr;
    std::unique_ptr<Application> m_app;
    BTResourceFunctionDialog *m_dialog = nullptr;
};

void TestEndToEndCollections::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(QDir::setCurrent(m_dir.path()));
    m_service = std::make_unique<ServiceProcess>();
    QByteArray output;
    m_magnet = e2e::prepareDemo(*m_service, &output).value(0);
    QVERIFY2(!m_magnet.isEmpty(), output.constData());
    QVERIFY2(m_service->start(), m_service->log().constData());
    e2e::useService(*m_service);

    m_app = std::make_unique<Application>([this](QWidget *playPage) {
        return m_engine = new MpvPlayerEngine(MpvPlayerEngine::NoOutput, playPage);
    });
    QVERIFY2(m_engine->isValid(), qPrintable(m_engine->errorString()));
    // The clips are short: paused at once, the file stays open while it is collected.
    connect(m_app->playback(), &PlaybackController::opened, m_engine, &PlayerEngine::pause, Qt::QueuedConnection);
    QVERIFY(e2e::logInThroughDialog(QStringLiteral("demo@pelorin.test"), QStringLiteral("demo1234")));
    m_dialog = BTResourceFunctionDialog::instance();
}

void TestEndToEndCollections::cleanupTestCase()
{
    m_app.reset();
    m_service.reset();
}

QList<BTResourceCollectionListItemWidget *> TestEndToEndCollections::collections()
{
    QList<BTResourceCollectionListItemWidget *> rows;
    auto *list = child<QListWidget>("collectionPageCollectionListWidget");
    for (int i = 0; i < list->count(); ++i)
        rows << qobject_cast<BTResourceCollectionListItemWidget *>(list->itemWidget(list->item(i)));
    return rows;
}

BTResourceCollectionListItemWidget *TestEndToEndCollections::collectionNamed(const QString &name)
{
    const auto rows = collections();
    for (BTResourceCollectionListItemWidget *row : rows) {
        if (row->file().fileName == name)
            return row;
    }
    return nullptr;
}

void TestEndToEndCollections::collectListAndDelete()
{
    const QString name = QStringLiteral("周末 要看的 演示");
    const QString hash = resourceHashFromInput(m_magnet);
    child<QPushButton>("collectionPageFlushCollectionListPushButton")->click();
    const int before = collections().size();
    QVERIFY(!collectionNamed(name));

    // Something has to be open to be collected.
    child<QLineEdit>("parsePageBTResourceLineEdit")->setText(m_magnet);
    QCOMPARE(state(), QStringLiteral("解析BT资源成功"));
    QVERIFY(!e2e::parseRows(m_dialog).isEmpty());
    const BTResourceFile played = e2e::parseRows(m_dialog)[0]->file();
    QVERIFY2(e2e::playRow(m_app->playback(), m_dialog, 0), qPrintable(state()));
    QTRY_VERIFY_WITH_TIMEOUT(m_app->playback()->isMediaOpen(), e2e::kStepTimeoutMs);

    // The collect dialog proposes the file's name; the user gives another one.
    m_dialog->showPage(QStringLiteral("collectionPage"));
    QString proposed;
    QPointer<QTimer> filler = e2e::when(
        this, [] { return qobject_cast<CollectNowPlayingResourceDialog *>(QApplication::activeModalWidget()); },
        [&proposed, name] {
            QWidget *dialog = QApplication::activeModalWidget();
            auto *edit = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameLineEdit"));
            proposed = edit->text();
            edit->setText(name);
            dialog->findChild<QPushButton *>(QStringLiteral("okPushButton"))->click();
        });
    {
        // A refusal would show a message box and keep the dialog open: answered, then cancelled.
        ModalAnswerer refusal({QStringLiteral("确定"), QStringLiteral("取消(C)")});
        child<QPushButton>("collectionPageCollectCurrentPlayingResourcePushButton")->click();
        QVERIFY2(refusal.seen().isEmpty(), qPrintable(refusal.seen().value(0).text));
    }
    delete filler;
    QCOMPARE(proposed, played.fileName);

    // The list was reloaded from the service.
    QCOMPARE(collections().size(), before + 1);
    BTResourceCollectionListItemWidget *collected = collectionNamed(name);
    QVERIFY(collected);
    QCOMPARE(collected->file().resourceHash.toLower(), hash.toLower());
    QCOMPARE(collected->file().resourceIndex, played.resourceIndex);
    collected->findChild<QPushButton *>(QStringLiteral("copyURLPushButton"))->click();
    QCOMPARE(resourceHashFromInput(QGuiApplication::clipboard()->text()).toLower(), hash.toLower());

    // Its play button parses the resource again and plays the collected file over the open one.
    QVERIFY2(e2e::clickPlay(m_app->playback(), m_dialog, collected->findChild<QPushButton *>(QStringLiteral("playPushButton"))),
             qPrintable(state()));
    QCOMPARE(m_dialog->currentResource().resourceIndex, played.resourceIndex);
    QCOMPARE(m_dialog->currentResource().fileName, played.fileName);
    m_dialog->showPage(QStringLiteral("collectionPage"));
    collected = collectionNamed(name);
    QVERIFY(collected);

    // Deleted: gone at once, and still gone when the list is fetched again.
    const QString stateBefore = state();
    collected->findChild<QPushButton *>(QStringLiteral("deletePushButton"))->click();
    QCOMPARE(collections().size(), before);
    QVERIFY(!collectionNamed(name));
    QCOMPARE(state(), stateBefore);
    child<QPushButton>("collectionPageFlushCollectionListPushButton")->click();
    QCOMPARE(state(), stateBefore);
    QCOMPARE(collections().size(), before);
    QVERIFY(!collectionNamed(name));
}

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // libmpv refuses to start unless numbers are formatted the C way.
    std::setlocale(LC_NUMERIC, "C");
    initGuiResources();
    TestEndToEndCollections test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_e2e_collections.moc"
