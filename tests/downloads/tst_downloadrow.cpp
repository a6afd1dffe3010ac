#include "app/ui/GuiResources.h"
#include "resources/ui/BTResourceDownloadListItemWidget.h"
#include "resources/DownloadTransfer.h"

#include "ScriptedHttpServer.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

namespace {
QByteArray patterned(int size)
{
    QByteArray data(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        data[i] = char((i * 37 + i / 11) & 0xff);
    return data;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString labelText(QWidget *row, const char *name)
{
    auto *label = row->findChild<QLabel *>(QLatin1String(name));
    return label ? label->text() : QStringLiteral("<missing>");
}

QPushButton *deleteButton(QWidget *row)
{
    return row->findChild<QPushButton *>(QStringLiteral("deletePushButton"));
}
} // namespace

class TestDownloadRow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void rowDownloadsAndShowsCompletion();
    void droppedConnectionShowsFailureAndDeleteRemovesPart();
    void deleteDuringTransferLeavesNoFile();
    void deleteBeforeStartSendsNothing();
    void unusableDirectoryShowsFailure();

private:
    BTResourceFile fileFor(const QString &name, const QByteArray &path, quint64 size) const;

    QTemporaryDir m_dir;
    ScriptedHttpServer m_server;
};

BTResourceFile TestDownloadRow::fileFor(const QString &name, const QByteArray &path, quint64 size) const
{
    BTResourceFile file;
    file.resourceHash = QStringLiteral("0123456789abcdef0123456789abcdef01234567");
    file.resourceIndex = 1;
    file.fileName = name;
    file.fileSize = size;
    file.downloadUrl = m_server.url(QString::fromLatin1(path)).toString();
    return file;
}

void TestDownloadRow::initTestCase()
{
    initGuiResources();
    QVERIFY(m_dir.isValid());
    QVERIFY(m_server.listen());
}

void TestDownloadRow::init()
{
    m_server.clearRoutes();
    m_server.clearRequests();
}

void TestDownloadRow::rowDownloadsAndShowsCompletion()
{
    const QByteArray data = patterned(1572864); // 1.50MB
    m_server.serveData("/video/row", data, "video/mp4", 131072, 10);
    QElapsedTimer clock;
    clock.start();
    BTResourceDownloadListItemWidget row(fileFor(QStringLiteral("第1集:预告?.mp4"), "/video/row", quint64(data.size())),
                                         m_dir.path());
    QCOMPARE(row.size(), QSize(790, 31));
    QCOMPARE(labelText(&row, "fileNameLabel"), QStringLiteral("第1集:预告?.mp4"));
    QCOMPARE(row.findChild<QLabel *>(QStringLiteral("fileNameLabel"))->toolTip(), QStringLiteral("第1集:预告?.mp4"));
    QCOMPARE(labelText(&row, "fileSizeLabel"), QStringLiteral("1.50MB"));
    QCOMPARE(row.file().fileName, QStringLiteral("第1集:预告?.mp4"));
    QPushButton *button = deleteButton(&row);
    QVERIFY(button);
    QCOMPARE(button->toolTip(), QStringLiteral("<html><head/><body><p>删除</p></body></html>"));
    for (const char *state : {"Normal", "Hover", "Pressed"}) {
        const QString image = QStringLiteral(":/BTResourceDwonloadListItemWidget/DeletePushButton_%1.png")
                                  .arg(QLatin1String(state));
        QVERIFY2(button->styleSheet().contains(image), qPrintable(image));
        QVERIFY2(QFile::exists(image), qPrintable(image));
    }

    // The transfer waits 100 ms before it starts.
    QVERIFY(!row.transfer()->isRunning());
    QTest::qWait(40);
    if (clock.elapsed() < 90) // a loaded machine may have let the 100 ms pass already
        QVERIFY(m_server.requests().isEmpty());

    QStringList shown;
    connect(row.transfer(), &DownloadTransfer::progressText, this,
            [&] { shown << labelText(&row, "downloadProgressLabel") + QLatin1Char('|') + labelText(&row, "downloadSpeedLabel"); });
    QSignalSpy finished(row.transfer(), &DownloadTransfer::finished);
    QVERIFY(finished.wait(10000));
    QCOMPARE(finished.at(0).at(0).toBool(), true);
    QCOMPARE(labelText(&row, "downloadProgressLabel"), QStringLiteral("下载完成"));
    QCOMPARE(labelText(&row, "downloadSpeedLabel"), QString());
    QVERIFY(!button->isEnabled());

    const QString finalPath = QDir(m_dir.path()).filePath(QStringLiteral("第1集预告.mp4"));
    QCOMPARE(row.transfer()->finalPath(), finalPath);
    QCOMPARE(readFile(finalPath), data);
    QVERIFY(!QFile::exists(finalPath + QStringLiteral(".tmp")));

    // The progress label showed percentages on the way, the last one complete.
    QVERIFY(shown.size() >= 2);
    QVERIFY2(shown.last().startsWith(QStringLiteral("100.00%|")), qPrintable(shown.last()));
    QVERIFY2(shown.first().contains(QRegularExpression(QStringLiteral("^\\d+\\.\\d\\d%\\|"))), qPrintable(shown.first()));
}

void TestDownloadRow::droppedConnectionShowsFailureAndDeleteRemovesPart()
{
    const QByteArray data = patterned(20000);
    ScriptedResponse response = ScriptedResponse::text(data);
    response.dropAfterBytes = 5000;
    m_server.route("/video/drop", response);
    auto *row = new BTResourceDownloadListItemWidget(fileFor(QStringLiteral("drop.mp4"), "/video/drop", 20000),
                                                     m_dir.path());
    QPointer<BTResourceDownloadListItemWidget> guard(row);
    QSignalSpy finished(row->transfer(), &DownloadTransfer::finished);
    QVERIFY(finished.wait(10000));
    QCOMPARE(labelText(row, "downloadProgressLabel"), QStringLiteral("下载失败"));
    QVERIFY(deleteButton(row)->isEnabled());
    const QString part = row->transfer()->partPath();
    QCOMPARE(readFile(part), data.left(5000));
    QVERIFY(!QFile::exists(row->transfer()->finalPath()));

    // The dialog's way of removing a row: take it out and delete it later.
    QSignalSpy deleted(row, &BTResourceDownloadListItemWidget::deleteFile);
    connect(row, &BTResourceDownloadListItemWidget::deleteFile, this,
            [](BTResourceDownloadListItemWidget *widget) { widget->deleteLater(); });
    deleteButton(row)->click();
    QCOMPARE(deleted.count(), 1);
    QCOMPARE(deleted.at(0).at(0).value<BTResourceDownloadListItemWidget *>(), row);
    QVERIFY(!QFile::exists(part));
    QTRY_VERIFY(guard.isNull());
}

void TestDownloadRow::deleteDuringTransferLeavesNoFile()
{
    const QByteArray data = patterned(500000);
    m_server.serveData("/video/slow", data, "video/mp4", 4096, 30);
    auto *row = new BTResourceDownloadListItemWidget(fileFor(QStringLiteral("slow.mp4"), "/video/slow",
                                                             quint64(data.size())),
                                                     m_dir.path());
    QPointer<BTResourceDownloadListItemWidget> guard(row);
    const QString part = row->transfer()->partPath();
    const QString final = row->transfer()->finalPath();
    QTRY_VERIFY_WITH_TIMEOUT(labelText(row, "downloadProgressLabel").endsWith(QLatin1Char('%'))
                                 && labelText(row, "downloadSpeedLabel").endsWith(QStringLiteral("/S")),
                             10000);
    QVERIFY(QFile::exists(part));

    QSignalSpy deleted(row, &BTResourceDownloadListItemWidget::deleteFile);
    connect(row, &BTResourceDownloadListItemWidget::deleteFile, this,
            [](BTResourceDownloadListItemWidget *widget) { widget->deleteLater(); });
    QTest::mouseClick(deleteButton(row), Qt::LeftButton);
    QCOMPARE(deleted.count(), 1);
    QVERIFY(!QFile::exists(part));
    QTRY_VERIFY(guard.isNull());
    QTest::qWait(200);
    QVERIFY(!QFile::exists(part));
    QVERIFY(!QFile::exists(final));
    QTRY_COMPARE_WITH_TIMEOUT(m_server.openConnections(), 0, 5000);
}

void TestDownloadRow::deleteBeforeStartSendsNothing()
{
    m_server.serveData("/video/early", patterned(1000));
    BTResourceDownloadListItemWidget row(fileFor(QStringLiteral("early.mp4"), "/video/early", 1000), m_dir.path());
    QSignalSpy deleted(&row, &BTResourceDownloadListItemWidget::deleteFile);
    deleteButton(&row)->click();
    QCOMPARE(deleted.count(), 1);
    QTest::qWait(250);
    QVERIFY(m_server.requests().isEmpty());
    QVERIFY(!QFile::exists(row.transfer()->partPath()));
    QVERIFY(!QFile::exists(row.transfer()->finalPath()));
}

void TestDownloadRow::unusableDirectoryShowsFailure()
{
    m_server.serveData("/video/nowhere", patterned(1000));
    BTResourceDownloadListItemWidget row(fileFor(QStringLiteral("nowhere.mp4"), "/video/nowhere", 1000),
                                         QDir(m_dir.path()).filePath(QStringLiteral("missing")));
    QSignalSpy finished(row.transfer(), &DownloadTransfer::finished);
    QVERIFY(finished.wait(5000));
    QCOMPARE(labelText(&row, "downloadProgressLabel"), QStringLiteral("下载失败"));
    QVERIFY(deleteButton(&row)->isEnabled());
    QVERIFY(m_server.requests().isEmpty());
}

QTEST_MAIN(TestDownloadRow)
#include "tst_downloadrow.moc"
