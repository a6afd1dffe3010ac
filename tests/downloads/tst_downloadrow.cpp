#include "app/ui/GuiResources.h"
#include "resources/DownloadTransfer.h"
#include "resources/ui/BTResourceDownloadListItemWidget.h"

#include "ScriptedHttpServer.h"

#include <QLabel>
#include <QPushButton>
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

QString progressOf(QWidget *row)
{
    return row->findChild<QLabel *>(QStringLiteral("downloadProgressLabel"))->text();
}
QString speedOf(QWidget *row)
{
    return row->findChild<QLabel *>(QStringLiteral("downloadSpeedLabel"))->text();
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
    void rowDownloadsAndShowsCompletion();
    void failuresShowAndDeleteRemovesThePart();
    void deleteBeforeAndDuringTheTransferLeavesNoFile();

private:
    BTResourceDownloadListItemWidget *rowFor(const QString &name, const QByteArray &path, quint64 size,
                                             const QString &directory = QString())
    {
        BTResourceFile file;
        file.resourceHash = QStringLiteral("0123456789abcdef0123456789abcdef01234567");
        file.resourceIndex = 1;
        file.fileName = name;
        file.fileSize = size;
        file.downloadUrl = m_server.url(QString::fromLatin1(path)).toString();
        return new BTResourceDownloadListItemWidget(file, directory.isEmpty() ? m_dir.path() : directory);
    }
    // The dialog's way of removing a row: take it out and delete it later.
    void removeOnDelete(BTResourceDownloadListItemWidget *row)
    {
        connect(row, &BTResourceDownloadListItemWidget::deleteFile, this,
                [](BTResourceDownloadListItemWidget *widget) { widget->deleteLater(); });
    }

    QTemporaryDir m_dir;
    ScriptedHttpServer m_server;
};

void TestDownloadRow::initTestCase()
{
    initGuiResources();
    QVERIFY(m_dir.isValid());
    QVERIFY(m_server.listen());
}

void TestDownloadRow::rowDownloadsAndShowsCompletion()
{
    const QByteArray data = patterned(1572864); // 1.50MB
    m_server.serveData("/video/row", data, "video/mp4", 131072, 10);
    std::unique_ptr<BTResourceDownloadListItemWidget> row(
        rowFor(QStringLiteral("第1集:预告?.mp4"), "/video/row", quint64(data.size())));
    QCOMPARE(row->size(), QSize(790, 31));
    auto *name = row->findChild<QLabel *>(QStringLiteral("fileNameLabel"));
    QCOMPARE(name->text(), QStringLiteral("第1集:预告?.mp4"));
    QCOMPARE(name->toolTip(), name->text());
    QCOMPARE(row->findChild<QLabel *>(QStringLiteral("fileSizeLabel"))->text(), QStringLiteral("1.50MB"));
    QPushButton *button = deleteButton(row.get());
    QCOMPARE(button->toolTip(), QStringLiteral("<html><head/><body><p>删除</p></body></html>"));
    for (const char *state : {"Normal", "Hover", "Pressed"})
        QVERIFY(QFile::exists(
            QStringLiteral(":/BTResourceDwonloadListItemWidget/DeletePushButton_%1.png").arg(QLatin1String(state))));
    // The transfer starts a moment later, from the event loop.
    QVERIFY(!row->transfer()->isRunning());

    QStringList shown;
    connect(row->transfer(), &DownloadTransfer::progressText, this,
            [&] { shown << progressOf(row.get()) + QLatin1Char('|') + speedOf(row.get()); });
    QSignalSpy finished(row->transfer(), &DownloadTransfer::finished);
    QVERIFY(finished.wait(10000));
    QCOMPARE(finished.at(0).at(0).toBool(), true);
    QCOMPARE(progressOf(row.get()), QStringLiteral("下载完成"));
    QCOMPARE(speedOf(row.get()), QString());
    QVERIFY(!button->isEnabled());
    // The bytes and no part file left: checked end to end and by the transfer's test.
    QCOMPARE(row->transfer()->finalPath(), QDir(m_dir.path()).filePath(QStringLiteral("第1集预告.mp4")));

    // The progress label showed percentages on the way, the last one complete.
    QVERIFY(shown.size() >= 2);
    QVERIFY2(shown.last().startsWith(QStringLiteral("100.00%|")), qPrintable(shown.last()));
    QVERIFY2(shown.first().contains(QRegularExpression(QStringLiteral("^\\d+\\.\\d\\d%\\|"))),
             qPrintable(shown.first()));
}

void TestDownloadRow::failuresShowAndDeleteRemovesThePart()
{
    // A directory that is not there fails without a request.
    m_server.clearRequests();
    m_server.serveData("/video/nowhere", patterned(1000));
    std::unique_ptr<BTResourceDownloadListItemWidget> nowhere(
        rowFor(QStringLiteral("nowhere.mp4"), "/video/nowhere", 1000, m_dir.filePath(QStringLiteral("missing"))));
    QSignalSpy nowhereFinished(nowhere->transfer(), &DownloadTransfer::finished);
    QVERIFY(nowhereFinished.wait(5000));
    QCOMPARE(progressOf(nowhere.get()), QStringLiteral("下载失败"));
    QVERIFY(deleteButton(nowhere.get())->isEnabled());
    QVERIFY(m_server.requests().isEmpty());

    // A dropped connection keeps what arrived until the row is deleted.
    const QByteArray data = patterned(20000);
    ScriptedResponse response = ScriptedResponse::text(data);
    response.dropAfterBytes = 5000;
    m_server.route("/video/drop", response);
    auto *row = rowFor(QStringLiteral("drop.mp4"), "/video/drop", 20000);
    QPointer<BTResourceDownloadListItemWidget> guard(row);
    QSignalSpy finished(row->transfer(), &DownloadTransfer::finished);
    QVERIFY(finished.wait(10000));
    QCOMPARE(progressOf(row), QStringLiteral("下载失败"));
    QCOMPARE(speedOf(row), QString());
    QVERIFY(deleteButton(row)->isEnabled());
    const QString part = row->transfer()->partPath();
    QCOMPARE(readFile(part), data.left(5000));
    QVERIFY(!QFile::exists(row->transfer()->finalPath()));

    QSignalSpy deleted(row, &BTResourceDownloadListItemWidget::deleteFile);
    removeOnDelete(row);
    deleteButton(row)->click();
    QCOMPARE(deleted.count(), 1);
    QCOMPARE(deleted.at(0).at(0).value<BTResourceDownloadListItemWidget *>(), row);
    QVERIFY(!QFile::exists(part));
    QTRY_VERIFY(guard.isNull());
}

void TestDownloadRow::deleteBeforeAndDuringTheTransferLeavesNoFile()
{
    m_server.clearRequests();
    // Deleted before its start: the row stays (nobody takes it away) and never sends anything.
    m_server.serveData("/video/early", patterned(1000));
    std::unique_ptr<BTResourceDownloadListItemWidget> early(rowFor(QStringLiteral("early.mp4"), "/video/early", 1000));
    QSignalSpy earlyDeleted(early.get(), &BTResourceDownloadListItemWidget::deleteFile);
    deleteButton(early.get())->click();
    QCOMPARE(earlyDeleted.count(), 1);

    const QByteArray data = patterned(500000);
    m_server.serveData("/video/slow", data, "video/mp4", 4096, 30);
    auto *row = rowFor(QStringLiteral("slow.mp4"), "/video/slow", quint64(data.size()));
    QPointer<BTResourceDownloadListItemWidget> guard(row);
    const QString part = row->transfer()->partPath();
    const QString final = row->transfer()->finalPath();
    QTRY_VERIFY_WITH_TIMEOUT(progressOf(row).endsWith(QLatin1Char('%')) && speedOf(row).endsWith(QStringLiteral("/S")),
                             10000);
    QVERIFY(QFile::exists(part));
    QSignalSpy deleted(row, &BTResourceDownloadListItemWidget::deleteFile);
    removeOnDelete(row);
    QTest::mouseClick(deleteButton(row), Qt::LeftButton);
    QCOMPARE(deleted.count(), 1);
    QVERIFY(!QFile::exists(part));
    QTRY_VERIFY(guard.isNull());

    // Nothing comes later: no file, no connection, and the early row's request never went out.
    QTest::qWait(200);
    QVERIFY(!QFile::exists(part));
    QVERIFY(!QFile::exists(final));
    QVERIFY(!QFile::exists(early->transfer()->partPath()));
    QVERIFY(!QFile::exists(early->transfer()->finalPath()));
    QVERIFY(m_server.requestsMatching("/video/early").isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(m_server.openConnections(), 0, 5000);
}

QTEST_MAIN(TestDownloadRow)
#include "tst_downloadrow.moc"
