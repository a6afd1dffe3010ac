#include "account/ui/AccountFunctionDialog.h"
#include "app/ui/Application.h"
#include "app/ui/GuiResources.h"
#include "notices/ui/VIPTipDialog.h"
#include "player/PlaybackController.h"
#include "player/mpv/MpvPlayerEngine.h"
#include "resources/DownloadTransfer.h"
#include "resources/protocol/ResourceInput.h"
#include "resources/ui/BTResourceCollectionListItemWidget.h"
#include "resources/ui/BTResourceDownloadListItemWidget.h"
#include "resources/ui/BTResourceFunctionDialog.h"
#include "resources/ui/BTResourceParseResultListItemWidget.h"
#include "resources/ui/BTResourcePlayRecordListItemWidget.h"
#include "resources/ui/CollectNowPlayingResourceDialog.h"

#include "EndToEnd.h"
#include "Eventually.h"
#include "ModalAnswerer.h"
#include "ServiceProcess.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <clocale>
#include <memory>

namespace {
QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

int playRecordCount() { return QJsonDocument::fromJson(readAll(QStringLiteral("PlayRecord.dat"))).array().size(); }

// The file of the demo payload whose name is the last segment of the listed path.
QString libraryFile(const QString &dataDir, const QString &listedName)
{
    const QString leaf = listedName.section(QLatin1Char('/'), -1);
    QDirIterator files(dataDir + QStringLiteral("/demo/payload"), QDir::Files, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QString path = files.next();
        if (files.fileName() == leaf)
            return path;
    }
    return QString();
}

QPushButton *button(QWidget *row, const char *name) { return row->findChild<QPushButton *>(QLatin1String(name)); }
} // namespace

// The demo account parses the demo magnet, plays its first file with libmpv, downloads the second,
// replays the play record, reloads on every line, and collects, lists and deletes the playing
// file; an account without VIP is refused the VIP-only resource. All against a started service
// and its video hosts.
class TestEndToEndResources : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void parsePlayAndDownload();
    void replayTheRecord();
    void reloadOnEveryLine();
    void collectListAndDelete();
    void vipOnlyResourceIsRefusedWithoutVip();

private:
    template <typename T> T *child(const char *name) { return m_dialog->findChild<T *>(QLatin1String(name)); }
    QString state() { return child<QLabel>("parsePageParseStateLabel")->text(); }
    QList<BTResourceCollectionListItemWidget *> collections()
    {
        return e2e::rowsOf<BTResourceCollectionListItemWidget>(
            child<QListWidget>("collectionPageCollectionListWidget"));
    }
    BTResourceCollectionListItemWidget *collectionNamed(const QString &name);
    bool clickPlay(QWidget *row, const char *name = "playPushButton")
    {
        return e2e::clickPlay(m_app->playback(), m_dialog, button(row, name));
    }
    // Types a magnet on the parse page; true when it parsed into that many file rows.
    bool parse(const QString &magnet, int files);

    QTemporaryDir m_dir;
    std::unique_ptr<ServiceProcess> m_service;
    QStringList m_magnets;
    MpvPlayerEngine *m_engine = nullptr;
    std::unique_ptr<Application> m_app;
    BTResourceFunctionDialog *m_dialog = nullptr;
};

void TestEndToEndResources::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(QDir::setCurrent(m_dir.path()));
    m_service = std::make_unique<ServiceProcess>();
    QByteArray output;
    m_magnets = e2e::prepareDemo(*m_service, &output);
    QVERIFY2(m_magnets.size() == 4, output.constData()); // the collection and the VIP file first
    QVERIFY2(m_service->start(), m_service->log().constData());
    e2e::useService(*m_service);

    m_app = std::make_unique<Application>([this](QWidget *playPage) {
        return m_engine = new MpvPlayerEngine(MpvPlayerEngine::NoOutput, playPage);
    });
    QVERIFY(m_app->engine());
    QVERIFY2(m_engine->isValid(), qPrintable(m_engine->errorString()));
    QVERIFY(e2e::logInThroughDialog(QStringLiteral("demo@pelorin.test"), QStringLiteral("demo1234")));
    QVERIFY(AccountFunctionDialog::instance()->permanentVip());
    m_dialog = BTResourceFunctionDialog::instance();
    // The service's own video hosts come first in the list it hands out.
    for (const QString &host : m_service->videoHosts())
        QVERIFY2(m_dialog->videoDomains().contains(host), qPrintable(m_dialog->videoDomains().join(QLatin1Char(' '))));
}

void TestEndToEndResources::cleanupTestCase()
{
    m_app.reset();
    m_service.reset();
}

BTResourceCollectionListItemWidget *TestEndToEndResources::collectionNamed(const QString &name)
{
    for (BTResourceCollectionListItemWidget *row : collections()) {
        if (row->file().fileName == name)
            return row;
    }
    return nullptr;
}

bool TestEndToEndResources::parse(const QString &magnet, int files)
{
    m_dialog->showPage(QStringLiteral("parsePage"));
    child<QLineEdit>("parsePageBTResourceLineEdit")->clear();
    child<QLineEdit>("parsePageBTResourceLineEdit")->setText(magnet);
    return state() == QStringLiteral("解析BT资源成功") && e2e::parseRows(m_dialog).size() == files;
}

void TestEndToEndResources::parsePlayAndDownload()
{
    const QString hash = resourceHashFromInput(m_magnets[0]);
    QCOMPARE(hash.size(), 40);
    QVERIFY2(parse(m_magnets[0], 2), qPrintable(state()));
    QList<BTResourceParseResultListItemWidget *> rows = e2e::parseRows(m_dialog);
    const BTResourceFile first = rows[0]->file();
    const BTResourceFile second = rows[1]->file();
    QVERIFY(first.fileSize > 0 && second.fileSize > 0);

    // Play: the real engine opens the address the play path found on a video host.
    QVERIFY2(e2e::playRow(m_app->playback(), m_dialog, 0), qPrintable(state()));
    QVERIFY(!m_dialog->isBusy());
    QVERIFY(m_dialog->isHidden());
    QCOMPARE(m_dialog->currentResource().resourceHash, first.resourceHash);
    QCOMPARE(m_dialog->currentResource().resourceIndex, first.resourceIndex);
    QVERIFY(m_engine->duration() > 0);

    const QJsonArray records = QJsonDocument::fromJson(readAll(QStringLiteral("PlayRecord.dat"))).array();
    QCOMPARE(records.size(), 1);
    const QJsonObject record = records[0].toObject();
    QCOMPARE(record.value(QStringLiteral("resource_hash")).toString().toLower(), hash.toLower());
    QCOMPARE(record.value(QStringLiteral("resource_index")).toInt(), int(first.resourceIndex));
    QCOMPARE(record.value(QStringLiteral("file_name")).toString(), first.fileName);
    QCOMPARE(child<QListWidget>("playRecordPagePlayRecordListWidget")->count(), 1);

    // Download the second file into a fresh folder and compare it with the library's copy.
    QTemporaryDir target;
    QVERIFY(target.isValid());
    m_dialog->showPage(QStringLiteral("parsePage"));
    child<QLineEdit>("downloadPageDownloadDirectoryLineEdit")->setText(target.path());
    button(e2e::parseRows(m_dialog)[1], "downloadPushButton")->click();
    QVERIFY2(state().isEmpty(), qPrintable(state()));
    QCOMPARE(child<QStackedWidget>("clientStackedWidget")->currentWidget()->objectName(),
             QStringLiteral("downloadPage"));
    const auto downloads =
        e2e::rowsOf<BTResourceDownloadListItemWidget>(child<QListWidget>("downloadPageDownloadListWidget"));
    QCOMPARE(downloads.size(), 1);
    QVERIFY(downloads[0]);
    auto *progress = downloads[0]->findChild<QLabel *>(QStringLiteral("downloadProgressLabel"));
    QTRY_VERIFY_WITH_TIMEOUT(progress->text() == QStringLiteral("下载完成") || progress->text() == QStringLiteral("下载失败"),
                             e2e::kStepTimeoutMs);
    QCOMPARE(progress->text(), QStringLiteral("下载完成"));

    const QString saved = QDir(target.path()).filePath(DownloadTransfer::safeFileName(downloads[0]->file()));
    const QString original = libraryFile(m_service->dataDir(), second.fileName);
    QVERIFY2(!original.isEmpty(), qPrintable(second.fileName));
    const QByteArray bytes = readAll(saved);
    QCOMPARE(quint64(bytes.size()), second.fileSize);
    QVERIFY(bytes == readAll(original));
    QCOMPARE(QDir(target.path()).entryList(QDir::Files), QStringList{QFileInfo(saved).fileName()});
}

void TestEndToEndResources::replayTheRecord()
{
    // The record's play button parses the resource again and plays the same file.
    m_dialog->showPage(QStringLiteral("playRecordPage"));
    auto *list = child<QListWidget>("playRecordPagePlayRecordListWidget");
    const auto records = e2e::rowsOf<BTResourcePlayRecordListItemWidget>(list);
    QCOMPARE(records.size(), 1);
    QVERIFY(records[0]);
    const BTResourceFile recorded = records[0]->file();
    child<QLineEdit>("parsePageBTResourceLineEdit")->clear();
    QVERIFY2(clickPlay(records[0]), qPrintable(state()));
    QCOMPARE(child<QLineEdit>("parsePageBTResourceLineEdit")->text(), recorded.resourceHash);
    QCOMPARE(m_dialog->currentResource().resourceIndex, recorded.resourceIndex);
    QCOMPARE(m_dialog->currentResource().fileName, recorded.fileName);
    QCOMPARE(list->count(), 1);
    QCOMPARE(playRecordCount(), 1);
}

void TestEndToEndResources::reloadOnEveryLine()
{
    // Every line of the engine box is one the service knows, with a fresh address each time.
    m_dialog->showPage(QStringLiteral("parsePage"));
    auto *lines = child<QComboBox>("parsePageEngineComboBox");
    QCOMPARE(lines->count(), 7);
    for (int line = 0; line < lines->count(); ++line) {
        lines->setCurrentIndex(line);
        QSignalSpy opened(m_app->playback(), &PlaybackController::opened);
        const QList<BTResourceParseResultListItemWidget *> rows = e2e::parseRows(m_dialog);
        QVERIFY(!rows.isEmpty());
        QVERIFY2(clickPlay(rows[0], "reloadPushButton"),
                 qPrintable(QStringLiteral("%1: %2").arg(lines->itemText(line), state())));
        QCOMPARE(opened.count(), 1);
    }
    lines->setCurrentIndex(0);
}

void TestEndToEndResources::collectListAndDelete()
{
    // The clips are short: paused at once, the file stays open while it is collected.
    connect(m_app->playback(), &PlaybackController::opened, m_engine, &PlayerEngine::pause, Qt::QueuedConnection);
    const QString name = QStringLiteral("周末 要看的 演示");
    const QString hash = resourceHashFromInput(m_magnets[0]);
    child<QPushButton>("collectionPageFlushCollectionListPushButton")->click();
    const int before = collections().size();
    QVERIFY(!collectionNamed(name));

    // Something has to be open to be collected.
    QVERIFY2(parse(m_magnets[0], 2), qPrintable(state()));
    const BTResourceFile played = e2e::parseRows(m_dialog)[0]->file();
    QVERIFY2(e2e::playRow(m_app->playback(), m_dialog, 0), qPrintable(state()));
    QTRY_VERIFY_WITH_TIMEOUT(m_app->playback()->isMediaOpen(), e2e::kStepTimeoutMs);

    // The collect dialog proposes the file's name; the user gives another one.
    m_dialog->showPage(QStringLiteral("collectionPage"));
    QString proposed;
    QPointer<QTimer> filler = whenTrue(
        this, [] { return qobject_cast<CollectNowPlayingResourceDialog *>(QApplication::activeModalWidget()); },
        [&proposed, name] {
            QWidget *dialog = QApplication::activeModalWidget();
            auto *edit = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameLineEdit"));
            proposed = edit->text();
            edit->setText(name);
            button(dialog, "okPushButton")->click();
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
    button(collected, "copyURLPushButton")->click();
    QCOMPARE(resourceHashFromInput(QGuiApplication::clipboard()->text()).toLower(), hash.toLower());

    // Its play button parses the resource again and plays the collected file over the open one.
    QVERIFY2(clickPlay(collected), qPrintable(state()));
    QCOMPARE(m_dialog->currentResource().resourceIndex, played.resourceIndex);
    QCOMPARE(m_dialog->currentResource().fileName, played.fileName);
    m_dialog->showPage(QStringLiteral("collectionPage"));
    collected = collectionNamed(name);
    QVERIFY(collected);

    // Deleted: gone at once, and still gone when the list is fetched again.
    const QString stateBefore = state();
    button(collected, "deletePushButton")->click();
    for (int fetched = 0; fetched < 2; ++fetched) {
        if (fetched)
            child<QPushButton>("collectionPageFlushCollectionListPushButton")->click();
        QCOMPARE(collections().size(), before);
        QVERIFY(!collectionNamed(name));
        QCOMPARE(state(), stateBefore);
    }
}

void TestEndToEndResources::vipOnlyResourceIsRefusedWithoutVip()
{
    AccountFunctionDialog *account = AccountFunctionDialog::instance();
    button(account, "miscPageLogoutPushButton")->click();
    QVERIFY(e2e::logInThroughDialog(QStringLiteral("free@pelorin.test"), QStringLiteral("free1234")));
    QVERIFY(!account->vip());
    QVERIFY(!account->permanentVip());

    QVERIFY2(parse(m_magnets[1], 1), qPrintable(state()));
    BTResourceParseResultListItemWidget *row = e2e::parseRows(m_dialog)[0];
    QSignalSpy opened(m_app->playback(), &PlaybackController::opened);
    button(row, "playPushButton")->click();
    QCOMPARE(state(), QStringLiteral("该资源仅限VIP会员观看，请先开通VIP！"));
    QVERIFY(VIPTipDialog::instance()->isVisible());
    VIPTipDialog::instance()->hide();
    QVERIFY(!m_dialog->isBusy());
    QCOMPARE(opened.count(), 0);

    // Downloads need the permanent tier, which the program checks before asking the service.
    ModalAnswerer answerer({QStringLiteral("确定")});
    button(row, "downloadPushButton")->click();
    QCOMPARE(answerer.seen().value(0).text, QStringLiteral("非永久vip不可用！"));
}

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // libmpv refuses to start unless numbers are formatted the C way.
    std::setlocale(LC_NUMERIC, "C");
    initGuiResources();
    TestEndToEndResources test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_e2e_resources.moc"
