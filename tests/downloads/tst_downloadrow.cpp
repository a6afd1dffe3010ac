#include "app/ui/GuiResources.h"
#include "TestFiles.h"
#include "resources/DownloadTransfer.h"
#include "resources/ui/BTResourceDownloadListItemWidget.h"

#include "ScriptedHttpServer.h"

#include "UrlRecorder.h"
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>

// The row over its transfer: what it shows on failure and what its delete button removes.
namespace {
QString progressOf(QWidget *row)
{
    return row->findChild<QLabel *>(QStringLiteral("downloadProgressLabel"))->text();
}
QPushButton *button(QWidget *row, const char *name)
{
    return row->findChild<QPushButton *>(QLatin1String(name));
}
} // namespace

class TestDownloadRow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void deleteDuringTheTransferLeavesNoFile();
    void listedRowResumesAndOpensItsFolder();

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

void TestDownloadRow::deleteDuringTheTransferLeavesNoFile()
{
    const QByteArray data = patterned(500000);
    m_server.serveData("/video/slow", data, "video/mp4", 4096, 30);
    auto *row = rowFor(QStringLiteral("slow.mp4"), "/video/slow", quint64(data.size()));
    QPointer<BTResourceDownloadListItemWidget> guard(row);
    const QString part = row->transfer()->partPath();
    const QString final = row->transfer()->finalPath();
    QTRY_VERIFY_WITH_TIMEOUT(progressOf(row).endsWith(QLatin1Char('%')), 10000);
    QTest::mouseClick(button(row, "deletePushButton"), Qt::LeftButton);
    QVERIFY(!QFile::exists(part));
    QTRY_VERIFY(guard.isNull());
    // Nothing comes later: no file, no connection.
    QTRY_COMPARE_WITH_TIMEOUT(m_server.openConnections(), 0, 5000);
    QVERIFY(!QFile::exists(part));
    QVERIFY(!QFile::exists(final));
}

void TestDownloadRow::listedRowResumesAndOpensItsFolder()
{
    const QByteArray data = patterned(40000);
    BTResourceFile file;
    file.resourceHash = QStringLiteral("0123456789abcdef0123456789abcdef01234567");
    file.fileName = QStringLiteral("listed.mp4");
    file.fileSize = quint64(data.size());
    QVERIFY(writeFile(QDir(m_dir.path()).filePath(QStringLiteral("listed.mp4.tmp")), data.left(10000)));

    // Listed again after a restart: it waits, showing how far it got, with its resume button.
    BTResourceDownloadListItemWidget row(file, m_dir.path(), BTResourceDownloadListItemWidget::Start::OnResume);
    auto *bar = row.findChild<QProgressBar *>(QStringLiteral("downloadProgressBar"));
    QPushButton *resume = button(&row, "resumePushButton");
    QCOMPARE(progressOf(&row), QStringLiteral("下载中断"));
    QCOMPARE(bar->value(), bar->maximum() / 4);
    QVERIFY(!resume->isHidden());
    QSignalSpy asked(&row, &BTResourceDownloadListItemWidget::resumeFile);
    QTest::mouseClick(resume, Qt::LeftButton);
    QCOMPARE(asked.count(), 1);
    row.showResolving();
    QVERIFY(resume->isHidden());
    // Resumed to the end with a fresh address after a restart: tst_downloadresume, with the pointer.

    // The folder button hands the download directory to the desktop.
    UrlRecorder opened(QStringLiteral("file"));
    QTest::mouseClick(button(&row, "openFolderPushButton"), Qt::LeftButton);
    QCOMPARE(opened.urls, QList<QUrl>{QUrl::fromLocalFile(m_dir.path())});
}

QTEST_MAIN(TestDownloadRow)
#include "tst_downloadrow.moc"
