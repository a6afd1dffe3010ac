#include "app/AppConfig.h"
#include "TestFiles.h"
#include "app/ui/Application.h"
#include "app/ui/GuiResources.h"
#include "resources/DownloadTransfer.h"
#include "resources/ui/BTResourceDownloadListItemWidget.h"
#include "resources/ui/BTResourceFunctionDialog.h"
#include "resources/ui/BTResourceParseResultListItemWidget.h"

#include "../shell/DesktopInput.h"
#include "EndToEnd.h"
#include "FakePlayerEngine.h"
#include "FaultProxy.h"
#include "ServiceProcess.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {
const QString kEmail = QStringLiteral("saver@pelorin.test");
const QString kPassword = QStringLiteral("saver1234");
QLabel *progressLabel(QWidget *row) { return row->findChild<QLabel *>(QStringLiteral("downloadProgressLabel")); }
} // namespace

// A download cut off by the service going away stays listed across a restart of the program and,
// once the service is back (its video hosts on new ports), goes on from its part file at a fresh
// address; the saved file is the library's byte for byte. The download and resume buttons are
// pressed with the pointer through the X server, under a window manager: run under
// tools/on-x-server.
class TestDownloadResume : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void resumesAcrossServiceAndProgramRestarts();

private:
    // Starts the program and logs in; the resource dialog, shown, then lists what is unfinished.
    bool startProgram();
    // A click in the middle of the button, as a user's arrives.
    bool press(QWidget *row, const char *button)
    {
        auto *target = row->findChild<QPushButton *>(QString::fromLatin1(button));
        return target && target->isEnabled() && m_input.click(target->mapToGlobal(target->rect().center()));
    }
    QList<BTResourceDownloadListItemWidget *> downloadRows()
    {
        return e2e::rowsOf<BTResourceDownloadListItemWidget>(
            m_dialog->findChild<QListWidget *>(QStringLiteral("downloadPageDownloadListWidget")));
    }

    QTemporaryDir m_dir;
    std::unique_ptr<ServiceProcess> m_service;
    QByteArray m_film;
    QString m_hash;
    std::unique_ptr<Application> m_app;
    BTResourceFunctionDialog *m_dialog = nullptr;
    DesktopInput m_input;
};

void TestDownloadResume::initTestCase()
{
    initGuiResources();
    QVERIFY(m_dir.isValid());
    QVERIFY(QDir::setCurrent(m_dir.path()));
    m_service = std::make_unique<ServiceProcess>();
    QByteArray output;
    QVERIFY2(m_service->run({QStringLiteral("user"), QStringLiteral("add"), kEmail, kPassword,
                             QStringLiteral("--permanent-vip")}, &output) == 0,
             output.constData());

    const QString payload = m_dir.path() + QStringLiteral("/payload/Film");
    // Larger than what the transfer's read buffer and the sockets hold together, so that stopping
    // the service right after the first bytes always cuts the download short.
    m_film = patterned(48 << 20);
    QVERIFY(writeFile(payload + QStringLiteral("/film.mp4"), m_film));
    const QString torrent = payload + QStringLiteral(".torrent");
    QVERIFY2(m_service->run({QStringLiteral("torrent"), QStringLiteral("create"), payload, torrent}, &output) == 0,
             output.constData());
    m_hash = QRegularExpression(QStringLiteral("btih:([0-9a-f]{40})")).match(QString::fromUtf8(output)).captured(1);
    QVERIFY2(!m_hash.isEmpty(), output.constData());
    QVERIFY2(m_service->run({QStringLiteral("library"), QStringLiteral("add"), torrent, payload}, &output) == 0,
             output.constData());
    QVERIFY2(m_service->start(), m_service->log().constData());
    e2e::useService(*m_service);
    QVERIFY2(m_input.start(), "needs an X display (tools/on-x-server) and openbox");
}

bool TestDownloadResume::startProgram()
{
    m_app = std::make_unique<Application>([](QWidget *playPage) { return new FakePlayerEngine(playPage); });
    if (!e2e::logInThroughDialog(kEmail, kPassword))
        return false;
    m_dialog = BTResourceFunctionDialog::instance();
    if (!m_dialog)
        return false;
    m_dialog->move(40, 40);
    m_dialog->show();
    m_dialog->activateWindow();
    // Clicks go where the X server has the dialog, which may lag the program's idea of it.
    return QTest::qWaitForWindowExposed(m_dialog)
        && QTest::qWaitFor([this] { return DesktopInput::serverPosition(m_dialog) == m_dialog->mapToGlobal(QPoint()); },
                           10000);
}

void TestDownloadResume::resumesAcrossServiceAndProgramRestarts()
{
    QTemporaryDir target;
    QVERIFY(target.isValid());
    // Today's host list names a paced link to the first video host, so that the transfer, which
    // runs off this thread, is still far from the end when it is cut.
    FaultProxy link(quint16(m_service->videoHosts().value(0).section(QLatin1Char(':'), 1).toUInt()));
    link.setRate(8 << 20);
    QVERIFY(link.listen());
    QVERIFY(writeFile(QStringLiteral("VideoDomain"), link.hostPort().toUtf8() + '\n'));
    AppConfig::setLatestRequestVideoDomainsDayOfYear(uint(QDate::currentDate().dayOfYear()));
    QVERIFY(startProgram());
    m_dialog->findChild<QLineEdit *>(QStringLiteral("downloadPageDownloadDirectoryLineEdit"))->setText(target.path());
    m_dialog->showPage(QStringLiteral("parsePage"));
    m_dialog->findChild<QLineEdit *>(QStringLiteral("parsePageBTResourceLineEdit"))
        ->setText(QStringLiteral("magnet:?xt=urn:btih:") + m_hash);
    const auto files = e2e::parseRows(m_dialog);
    QCOMPARE(files.size(), 1);

    // The service and its hosts go away as soon as the first bytes are on disk.
    QVERIFY(press(files[0], "downloadPushButton"));
    QTRY_COMPARE_WITH_TIMEOUT(downloadRows().size(), 1, e2e::kStepTimeoutMs);
    BTResourceDownloadListItemWidget *row = downloadRows()[0];
    const QString part = row->transfer()->partPath();
    const QString saved = row->transfer()->finalPath();
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(part).size() > 0, e2e::kStepTimeoutMs);
    m_service->stop();
    link.resetAll();
    QTRY_COMPARE_WITH_TIMEOUT(progressLabel(row)->text(), QStringLiteral("下载失败"), e2e::kStepTimeoutMs);
    const qint64 cutAt = QFileInfo(part).size();
    QVERIFY2(cutAt > 0 && cutAt < m_film.size(), qPrintable(QString::number(cutAt)));
    QVERIFY(!QFile::exists(saved));

    // The program closes and starts again: the download is listed, waiting to be resumed.
    m_app.reset();
    QVERIFY(QFile::exists(QStringLiteral("DownloadRecord.dat")));
    QVERIFY2(m_service->start(), m_service->log().constData());
    e2e::useService(*m_service);
    QVERIFY(startProgram());
    QCOMPARE(downloadRows().size(), 1);
    row = downloadRows()[0];
    QCOMPARE(progressLabel(row)->text(), QStringLiteral("下载中断"));
    QCOMPARE(row->transfer()->finalPath(), saved);

    // Resumed: a fresh address through the download path, then the rest of the file.
    m_dialog->showPage(QStringLiteral("downloadPage"));
    QTRY_VERIFY(row->findChild<QPushButton *>(QStringLiteral("resumePushButton"))->isVisible());
    QVERIFY(press(row, "resumePushButton"));
    QTRY_VERIFY_WITH_TIMEOUT(progressLabel(row)->text() == QStringLiteral("下载完成")
                                 || progressLabel(row)->text() == QStringLiteral("下载失败"),
                             e2e::kStepTimeoutMs);
    QCOMPARE(progressLabel(row)->text(), QStringLiteral("下载完成"));
    QCOMPARE(row->transfer()->resumedFrom(), cutAt);
    QVERIFY(readFile(saved) == m_film);
    QVERIFY(!QFile::exists(part));
    QVERIFY(!QFile::exists(QStringLiteral("DownloadRecord.dat")));
}

QTEST_MAIN(TestDownloadResume)
#include "tst_downloadresume.moc"
