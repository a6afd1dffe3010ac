#include "app/ui/GuiResources.h"
#include "resources/DownloadTransfer.h"
#include "resources/ui/BTResourceDownloadListItemWidget.h"

#include "ScriptedHttpServer.h"

#include <QLabel>
#include <QPushButton>
#include <QtTest>

// The row over its transfer: what it shows on failure and what its delete button removes.
namespace {
QByteArray patterned(int size)
{
    QByteArray data(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        data[i] = char((i * 37 + i / 11) & 0xff);
    return data;
}

QString progressOf(QWidget *row)
{
    return row->findChild<QLabel *>(QStringLiteral("downloadProgressLabel"))->text();
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
    void failureShowsAndDeleteRemovesThePart();
    void deleteDuringTheTransferLeavesNoFile();

private:
    BTResourceDownloadListItemWidget *rowFor(const QString &name, const QByteArray &path, quint64 size)
    {
        BTResourceFile file;
        file.resourceHash = QStringLiteral("0123456789abcdef0123456789abcdef01234567");
        file.fileName = name;
        file.fileSize = size;
        file.downloadUrl = m_server.url(QString::fromLatin1(path)).toString();
        auto *row = new BTResourceDownloadListItemWidget(file, m_dir.path());
        // The dialog's way of removing a row: take it out and delete it later.
        connect(row, &BTResourceDownloadListItemWidget::deleteFile, this,
                [](BTResourceDownloadListItemWidget *widget) { widget->deleteLater(); });
        return row;
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

void TestDownloadRow::failureShowsAndDeleteRemovesThePart()
{
    // A dropped connection keeps what arrived until the row is deleted.
    ScriptedResponse response = ScriptedResponse::text(patterned(20000));
    response.dropAfterBytes = 5000;
    m_server.route("/video/drop", response);
    auto *row = rowFor(QStringLiteral("drop.mp4"), "/video/drop", 20000);
    QPointer<BTResourceDownloadListItemWidget> guard(row);
    QSignalSpy finished(row->transfer(), &DownloadTransfer::finished);
    QVERIFY(finished.wait(10000));
    QCOMPARE(progressOf(row), QStringLiteral("下载失败"));
    const QString part = row->transfer()->partPath();
    QCOMPARE(QFileInfo(part).size(), 5000);
    deleteButton(row)->click();
    QVERIFY(!QFile::exists(part));
    QTRY_VERIFY(guard.isNull());
}

void TestDownloadRow::deleteDuringTheTransferLeavesNoFile()
{
    const QByteArray data = patterned(500000);
    m_server.serveData("/video/slow", data, "video/mp4", 4096, 30);
    auto *row = rowFor(QStringLiteral("slow.mp4"), "/video/slow", quint64(data.size()));
    QPointer<BTResourceDownloadListItemWidget> guard(row);
    const QString part = row->transfer()->partPath();
    const QString final = row->transfer()->finalPath();
    QTRY_VERIFY_WITH_TIMEOUT(progressOf(row).endsWith(QLatin1Char('%')), 10000);
    QTest::mouseClick(deleteButton(row), Qt::LeftButton);
    QVERIFY(!QFile::exists(part));
    QTRY_VERIFY(guard.isNull());
    // Nothing comes later: no file, no connection.
    QTRY_COMPARE_WITH_TIMEOUT(m_server.openConnections(), 0, 5000);
    QVERIFY(!QFile::exists(part));
    QVERIFY(!QFile::exists(final));
}

QTEST_MAIN(TestDownloadRow)
#include "tst_downloadrow.moc"
