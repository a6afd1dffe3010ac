// A second copy of the real program hands the resource it was started with to the running copy
// (this test process) over the local socket and ends quietly; without one it asks to be raised.
#include "ProgramCopy.h"
#include "app/InstanceChannel.h"
#include "app/LaunchArgument.h"
#include "app/ui/StartUp.h"

#include <QApplication>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

class TestHandOver : public QObject
{
    Q_OBJECT

private slots:
    void launchArgumentIsMadeIndependentOfTheWorkingDirectory();
    void secondCopyHandsItsArgumentOverAndEnds();
};

void TestHandOver::launchArgumentIsMadeIndependentOfTheWorkingDirectory()
{
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("电影 a.torrent")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    const QString self = QStringLiteral("pelorin");
    const auto input = [&dir, &self](const QStringList &arguments) {
        return LaunchArgument::resourceInput(QStringList{self} + arguments, dir.path());
    };
    QCOMPARE(input({}), QString());
    QCOMPARE(input({QStringLiteral("--update-failed"), QStringLiteral("text"), QStringLiteral("-x")}), QString());
    QCOMPARE(input({QStringLiteral("电影 a.torrent")}), file.fileName());
    QCOMPARE(input({QStringLiteral("sub/../x.TORRENT")}), dir.filePath(QStringLiteral("x.TORRENT")));
    QCOMPARE(input({QStringLiteral("file:///tmp/a%20b.torrent")}), QStringLiteral("/tmp/a b.torrent"));
    const QString magnet = QStringLiteral("magnet:?xt=urn:btih:0123456789abcdef0123456789abcdef01234567&dn=a%20b");
    QCOMPARE(input({QStringLiteral("--update-failed"), QStringLiteral("why"), magnet}), magnet);
    QCOMPARE(input({QStringLiteral("--lang"), QStringLiteral("en")}), QString()); // a language only
    QCOMPARE(input({QStringLiteral("--lang"), QStringLiteral("en"), magnet}), magnet);
    QCOMPARE(input({QStringLiteral("some text")}), QStringLiteral("some text"));
}

void TestHandOver::secondCopyHandsItsArgumentOverAndEnds()
{
    QTemporaryDir lockDir;
    QTemporaryDir work;
    StartUp running(lockDir.path());
    int status = -1;
    QVERIFY(running.ensureSingleInstance(&status));
    QSignalSpy opened(running.instanceChannel(), &InstanceChannel::openRequested);
    QSignalSpy raised(running.instanceChannel(), &InstanceChannel::raiseRequested);

    ProgramCopy copy(lockDir.path(), QStringLiteral("offscreen"), work.path());
    // The copy blocks in a socket wait while it hands over, so this process answers it only from
    // its event loop: wait for its end with QTRY, not waitForFinished.
    const auto runCopy = [&copy](const QStringList &arguments) {
        copy.start(QStringLiteral(PELORIN_PLAYER_EXECUTABLE), arguments);
        return copy.waitForStarted(10000);
    };
    const auto endedQuietly = [&copy] {
        return copy.state() == QProcess::NotRunning && copy.exitStatus() == QProcess::NormalExit
            && copy.exitCode() == 0;
    };

    // A long magnet link (trackers and all) arrives whole.
    QString magnet =
        QStringLiteral("magnet:?xt=urn:btih:0123456789ABCDEF0123456789abcdef01234567&dn=%E7%94%B5%E5%BD%B1");
    for (int i = 0; i < 60; ++i)
        magnet += QStringLiteral("&tr=udp%3A%2F%2Ftracker%1.example.org%3A6969%2Fannounce").arg(i);
    QVERIFY(runCopy({magnet}));
    QTRY_VERIFY_WITH_TIMEOUT(endedQuietly(), 20000);
    QCOMPARE(opened.count(), 1);
    QCOMPARE(opened.takeFirst().at(0).toString(), magnet);

    // A relative torrent path reaches the running copy as the file it names.
    QVERIFY(runCopy({QStringLiteral("影片 1.torrent")}));
    QTRY_VERIFY_WITH_TIMEOUT(endedQuietly(), 20000);
    QCOMPARE(opened.takeFirst().at(0).toString(), QDir(work.path()).filePath(QStringLiteral("影片 1.torrent")));
    // Only raised, never for an argument (without one: tst_mainwindowinput, through the X server).
    QCOMPARE(raised.count(), 0);
}

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    TestHandOver test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_handover.moc"
