#include "account/ui/AccountFunctionDialog.h"
#include "notices/ui/VIPTipDialog.h"
#include "app/ui/GuiResources.h"
#include "player/mpv/MpvPlayerEngine.h"
#include "resources/ui/BTResourceDownloadListItemWidget.h"
#include "resources/ui/BTResourceFunctionDialog.h"
#include "resources/ui/BTResourceParseResultListItemWidget.h"
#include "resources/ui/BTResourcePlayRecordListItemWidget.h"
#include "resources/DownloadTransfer.h"
#include "resources/protocol/ResourceInput.h"
#include "app/ui/Application.h"
#include "player/PlaybackController.h"

#include "EndToEnd.h"
#include "ModalAnswerer.h"
#include "ServiceProcess.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
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
} // namespace

// The demo account parses the demo magnet, plays its first file with libmpv, downloads the second
// and replays the play record; an account without VIP is refused the VIP-only resource. All
// against a started service and its video hosts.
class TestEndToEndResources : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void parsePlayAndDownload();
    void replayTheRecord();
    void reloadOnEveryLine();
    void vipOnlyResourceIsRefusedWithoutVip();

private:
    template <typename T> T *child(const char *name) { return m_dialog->findChild<T *>(QLatin1String(name)); }
    QString state() { return child<QLabel>("parsePageParseStateLabel")->text(); }

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
    QVERIFY2(m_magnets.size() == 2, output.constData());
    QVERIFY2(m_service->start(), m_service->log().constData());
    e2e::useService(*m_service);

    m_app = std::make_unique<Application>([this](QWidget *playPage) {
        return m_engine = new MpvPlayerEngine(MpvPlayerEngine::NoOutput, playPage);
    });
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

void TestEndToEndResources::parsePlayAndDownload()
{
    const QString hash = resourceHashFromInput(m_magnets[0]);
    QCOMPARE(hash.size(), 40);
    m_dialog->showPage(QStringLiteral("parsePage"));
    child<QLineEdit>("parsePageBTResourceLineEdit")->setText(m_magnets[0]);
    QCOMPARE(state(), QStringLiteral("解析BT资源成功"));
    QList<BTResourceParseResultListItemWidget *> rows = e2e::parseRows(m_dialog);
    QCOMPARE(rows.size(), 2);
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
    rows = e2e::parseRows(m_dialog);
    rows[1]->findChild<QPushButton *>(QStringLiteral("downloadPushButton"))->click();
    QVERIFY2(state().isEmpty(), qPrintable(state()));
    QCOMPARE(child<QStackedWidget>("clientStackedWidget")->currentWidget()->objectName(), QStringLiteral("downloadPage"));
    auto *downloads = child<QListWidget>("downloadPageDownloadListWidget");
    QCOMPARE(downloads->count(), 1);
    auto *download = qobject_cast<BTResourceDownloadListItemWidget *>(downloads->itemWidget(downloads->item(0)));
    QVERIFY(download);
    auto *progress = download->findChild<QLabel *>(QStringLiteral("downloadProgressLabel"));
    QTRY_VERIFY_WITH_TIMEOUT(progress->text() == QStringLiteral("下载完成") || progress->text() == QStringLiteral("下载失败"),
                             e2e::kStepTimeoutMs);
    QCOMPARE(progress->text(), QStringLiteral("下载完成"));

    const QString saved = QDir(target.path()).filePath(DownloadTransfer::safeFileName(download->file()));
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
    auto *records = child<QListWidget>("playRecordPagePlayRecordListWidget");
    QCOMPARE(records->count(), 1);
    auto *record = qobject_cast<BTResourcePlayRecordListItemWidget *>(records->itemWidget(records->item(0)));
    QVERIFY(record);
    const BTResourceFile recorded = record->file();
    child<QLineEdit>("parsePageBTResourceLineEdit")->clear();
    QVERIFY2(e2e::clickPlay(m_app->playback(), m_dialog, record->findChild<QPushButton *>(QStringLiteral("playPushButton"))),
             qPrintable(state()));
    QCOMPARE(child<QLineEdit>("parsePageBTResourceLineEdit")->text(), recorded.resourceHash);
    QCOMPARE(m_dialog->currentResource().resourceIndex, recorded.resourceIndex);
    QCOMPARE(m_dialog->currentResource().fileName, recorded.fileName);
    QCOMPARE(records->count(), 1);
    QCOMPARE(QJsonDocument::fromJson(readAll(QStringLiteral("PlayRecord.dat"))).array().size(), 1);
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
        QVERIFY2(e2e::clickPlay(m_app->playback(), m_dialog, rows[0]->findChild<QPushButton *>(QStringLiteral("reloadPushButton"))),
                 qPrintable(QStringLiteral("%1: %2").arg(lines->itemText(line), state())));
        QCOMPARE(opened.count(), 1);
    }
    lines->setCurrentIndex(0);
}

void TestEndToEndResources::vipOnlyResourceIsRefusedWithoutVip()
{
    AccountFunctionDialog *account = AccountFunctionDialog::instance();
    account->findChild<QPushButton *>(QStringLiteral("miscPageLogoutPushButton"))->click();
    QVERIFY(e2e::logInThroughDialog(QStringLiteral("free@pelorin.test"), QStringLiteral("free1234")));
    QVERIFY(!account->vip());
    QVERIFY(!account->permanentVip());

    m_dialog->showPage(QStringLiteral("parsePage"));
    child<QLineEdit>("parsePageBTResourceLineEdit")->setText(m_magnets[1]);
    QCOMPARE(state(), QStringLiteral("解析BT资源成功"));
    const QList<BTResourceParseResultListItemWidget *> rows = e2e::parseRows(m_dialog);
    QCOMPARE(rows.size(), 1);
    QSignalSpy opened(m_app->playback(), &PlaybackController::opened);
    rows[0]->findChild<QPushButton *>(QStringLiteral("playPushButton"))->click();
    QCOMPARE(state(), QStringLiteral("该资源仅限VIP会员观看，请先开通VIP！"));
    QVERIFY(VIPTipDialog::instance()->isVisible());
    VIPTipDialog::instance()->hide();
    QVERIFY(!m_dialog->isBusy());
    QCOMPARE(opened.count(), 0);

    // Downloads need the permanent tier, which the program checks before asking the service.
    {
        ModalAnswerer answerer({QStringLiteral("确定")});
        rows[0]->findChild<QPushButton *>(QStringLiteral("downloadPushButton"))->click();
        QCOMPARE(answerer.seen().value(0).text, QStringLiteral("非永久vip不可用！"));
    }
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
