// pelorin-updater on real portable archives and installations made here, and the whole hand-over:
// the real player offered a newer version by the reference service, its update button pressed
// with real input, the updater installing and starting the new version. Runs under
// tools/on-x-server.
#include "DesktopInput.h"
#include "TestFiles.h"
#include "ServiceProcess.h"

#include "app/SingleInstanceGuard.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

namespace {
bool writeScript(const QString &path, const QByteArray &content)
{
    return writeFile(path, content)
           && QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::ExeOwner);
}

// A stand-in player: reports its version, and otherwise writes it and its arguments, one a line,
// to started.txt in its working folder (whole when it appears).
QByteArray playerScript(const QByteArray &version, bool runs = true)
{
    return "#!/bin/sh\nif [ \"$1\" = --version ]; then echo " + version + "; exit " + (runs ? "0" : "1")
           + "; fi\nprintf '%s\\n' " + version + " \"$@\" > started.new && /bin/mv started.new started.txt\n";
}

// An installation of the given version: the player, the real updater and VERSION.
bool makeInstallation(const QString &dir, const QByteArray &version, const QString &player = QString())
{
    return QDir().mkpath(dir)
           && (player.isEmpty() ? writeScript(dir + u("/pelorin"), playerScript(version))
                                : QFile::copy(player, dir + u("/pelorin")))
           && QFile::copy(u(PELORIN_UPDATER_EXECUTABLE), dir + u("/pelorin-updater"))
           && writeFile(dir + u("/VERSION"), version + "\n");
}

// The portable archive: one folder holding pelorin, pelorin-updater and VERSION.
bool makeArchive(const QString &path, const QByteArray &version, bool playerRuns = true, bool withUpdater = true)
{
    QTemporaryDir staging;
    const QString folder = staging.path() + u("/pelorin-") + QString::fromLatin1(version);
    if (!QDir().mkpath(folder) || !writeScript(folder + u("/pelorin"), playerScript(version, playerRuns))
        || !writeFile(folder + u("/VERSION"), version + "\n")
        || (withUpdater && !QFile::copy(u(PELORIN_UPDATER_EXECUTABLE), folder + u("/pelorin-updater"))))
        return false;
    return QProcess::execute(u("tar"), {u("-czf"), path, u("-C"), staging.path(), QFileInfo(folder).fileName()}) == 0;
}

// Ends whatever this test started that lives on detached (the updater, a player it started).
void killStartedUnder(const QString &root)
{
    QDirIterator processes(u("/proc"), QDir::Dirs | QDir::NoDotAndDotDot);
    while (processes.hasNext()) {
        bool isPid = false;
        const int pid = QFileInfo(processes.next()).fileName().toInt(&isPid);
        if (isPid && QFileInfo(processes.filePath() + u("/exe")).symLinkTarget().startsWith(root))
            ::kill(pid, SIGKILL);
    }
}
} // namespace

class TestUpdater : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup() { killStartedUnder(m_root->path()); }
    void waitsForThePlayerThenSwitchesTheArchiveIn();
    void failuresStartTheOldVersionWithTheReason_data();
    void failuresStartTheOldVersionWithTheReason();
    void handOverFromThePlayerEndToEnd();

private:
    // Runs the updater of the installation with the package; its lock folder is m_lock.
    void startUpdater(QProcess &updater, const QString &install, const QString &package,
                      const QString &path = QString());

    std::unique_ptr<QTemporaryDir> m_root;
    std::unique_ptr<QTemporaryDir> m_lock;
    QString m_apps; // the folder the installation lives in
    QString m_install;
};

void TestUpdater::init()
{
    m_root = std::make_unique<QTemporaryDir>();
    m_lock = std::make_unique<QTemporaryDir>();
    QVERIFY(m_root->isValid() && m_lock->isValid());
    m_apps = m_root->path() + u("/apps");
    m_install = m_apps + u("/pelorin");
}

void TestUpdater::startUpdater(QProcess &updater, const QString &install, const QString &package, const QString &path)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u("XDG_RUNTIME_DIR"), m_lock->path());
    if (!path.isNull())
        environment.insert(u("PATH"), path);
    updater.setProcessEnvironment(environment);
    updater.setWorkingDirectory(install); // the player ran inside its folder
    updater.setProcessChannelMode(QProcess::ForwardedChannels);
    updater.start(install + u("/pelorin-updater"), {QDir::toNativeSeparators(package)});
}

void TestUpdater::waitsForThePlayerThenSwitchesTheArchiveIn()
{
    QVERIFY(makeInstallation(m_install, "5.0.8.0"));
    // The user's files, kept in the installation when the player runs there.
    QVERIFY(QDir().mkpath(m_install + u("/downloads")));
    QVERIFY(writeFile(m_install + u("/Config.ini"), "[Service]\nHost=example\n"));
    QVERIFY(writeFile(m_install + u("/downloads/clip.mp4"), "clip"));
    const QString package = m_root->path() + u("/pelorin-5.0.9.0.tar.gz");
    QVERIFY(makeArchive(package, "5.0.9.0"));

    QProcess updater;
    {
        // The player still runs: nothing happens until it has exited.
        SingleInstanceGuard player(m_lock->path());
        QVERIFY(player.tryAcquire());
        startUpdater(updater, m_install, package);
        QVERIFY(updater.waitForStarted());
        QTest::qWait(1000);
        QCOMPARE(updater.state(), QProcess::Running);
        QCOMPARE(readFile(m_install + u("/VERSION")), QByteArray("5.0.8.0\n"));
    }
    QVERIFY(updater.waitForFinished(60000));
    QCOMPARE(updater.exitCode(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(readFile(m_install + u("/started.txt")), QByteArray("5.0.9.0\n"), 30000);
    QCOMPARE(readFile(m_install + u("/VERSION")), QByteArray("5.0.9.0\n"));
    QCOMPARE(readFile(m_install + u("/Config.ini")), QByteArray("[Service]\nHost=example\n"));
    QCOMPARE(readFile(m_install + u("/downloads/clip.mp4")), QByteArray("clip"));
    QVERIFY(QFileInfo(m_install + u("/pelorin-updater")).isExecutable());
    // Nothing left beside the installation, and the package is gone.
    QCOMPARE(QDir(m_apps).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList{u("pelorin")});
    QVERIFY(!QFile::exists(package));
}

void TestUpdater::failuresStartTheOldVersionWithTheReason_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("reason");
    QTest::newRow("not an archive") << u("garbage") << u("安装包无法解开");
    QTest::newRow("new player does not run") << u("broken player") << u("新版本无法运行");
    QTest::newRow("no updater in the archive") << u("incomplete") << u("安装包内容不完整");
    QTest::newRow("not a portable installation") << u("no VERSION") << u("当前安装不是便携版");
    QTest::newRow("another kind") << u("zip") << u("不支持的安装包");
    QTest::newRow("deb without an installer") << u("deb") << u("未找到软件包安装程序");
    QTest::newRow("deb to the desktop's installer") << u("deb installer") << QString();
}

void TestUpdater::failuresStartTheOldVersionWithTheReason()
{
    QFETCH(QString, kind);
    QFETCH(QString, reason);
    QVERIFY(makeInstallation(m_install, "5.0.8.0"));
    QString package = m_root->path() + u("/pelorin-5.0.9.0.tar.gz");
    QString path = m_root->path() + u("/bin"); // no package installer there
    QVERIFY(QDir().mkpath(path));
    if (kind == u("garbage"))
        QVERIFY(writeFile(package, "not gzip at all"));
    else if (kind == u("broken player") || kind == u("incomplete"))
        QVERIFY(makeArchive(package, "5.0.9.0", kind != u("broken player"), kind != u("incomplete")));
    else if (kind == u("no VERSION"))
        QVERIFY(makeArchive(package, "5.0.9.0") && QFile::remove(m_install + u("/VERSION")));
    else if (kind == u("zip"))
        QVERIFY(writeFile(package = m_root->path() + u("/pelorin.zip"), "PK"));
    else
        QVERIFY(writeFile(package = m_root->path() + u("/pelorin_5.0.9.0_amd64.deb"), "!<arch>\n"));
    if (kind == u("deb installer"))
        QVERIFY(writeScript(path + u("/gdebi-gtk"), "#!/bin/sh\nprintf '%s\\n' \"$@\" > installer.new && /bin/mv installer.new installer.txt\n"));
    const QByteArray before = readFile(m_install + u("/VERSION"));

    QProcess updater;
    // Only the installers of the test are found.
    startUpdater(updater, m_install, package, kind.startsWith(u("deb")) ? path : QString());
    QVERIFY(updater.waitForFinished(60000));
    QCOMPARE(updater.exitCode(), reason.isEmpty() ? 0 : 1);
    QTRY_VERIFY(QFile::exists(m_install + u("/started.txt")));
    const QStringList started = QString::fromUtf8(readFile(m_install + u("/started.txt"))).split(u("\n"));
    QCOMPARE(started.value(0), u("5.0.8.0"));
    if (reason.isEmpty()) {
        QCOMPARE(started.value(1), QString());
        QCOMPARE(readFile(m_install + u("/installer.txt")), package.toUtf8() + '\n');
    } else {
        QCOMPARE(started.value(1), u("--update-failed"));
        QVERIFY2(started.value(2).startsWith(u("更新失败！") + reason), qPrintable(started.value(2)));
    }
    // The old version is as it was, and nothing is left beside it.
    QCOMPARE(readFile(m_install + u("/VERSION")), before);
    QCOMPARE(readFile(m_install + u("/pelorin")), playerScript("5.0.8.0"));
    QCOMPARE(QDir(m_apps).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList{u("pelorin")});
}

void TestUpdater::handOverFromThePlayerEndToEnd()
{
    DesktopInput desktop;
    QVERIFY(desktop.start());
    ServiceProcess service;
    QVERIFY(service.start({u("--no-video-hosts")}));
    const QString package = m_root->path() + u("/pelorin-5.0.9.0.tar.gz");
    QVERIFY(makeArchive(package, "5.0.9.0"));
    QByteArray output;
    QCOMPARE(service.run({u("release"), package, u("5.0.9.0"), u("修复若干问题")}, &output), 0);

    // The real player in a portable installation, with its working folder elsewhere.
    QVERIFY(makeInstallation(m_install, "5.0.8.0", u(PELORIN_PLAYER_EXECUTABLE)));
    const QString work = m_root->path() + u("/work");
    const QString temp = m_root->path() + u("/tmp");
    QVERIFY(QDir().mkpath(work) && QDir().mkpath(temp));
    QVERIFY(writeFile(work + u("/Config.ini"), "[Service]\nHost=" + service.hostPort().toUtf8() + "\n"));
    QProcess player;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u("XDG_RUNTIME_DIR"), m_lock->path());
    environment.insert(u("TMPDIR"), temp);
    environment.insert(u("QT_QPA_PLATFORM"), u("xcb"));
    player.setProcessEnvironment(environment);
    player.setWorkingDirectory(work);
    player.setProcessChannelMode(QProcess::ForwardedChannels);
    player.start(m_install + u("/pelorin"), QStringList());
    QVERIFY(player.waitForStarted());
    auto stop = qScopeGuard([&player] {
        player.kill();
        player.waitForFinished();
    });

    // The update dialog is all the player shows; "开始更新" is pressed until the player ends (a
    // press before the window is ready may be lost; a second during the download is ignored).
    QProcess search;
    search.start(u("xdotool"), {u("search"), u("--sync"), u("--onlyvisible"), u("--name"), u("^更新$")});
    QVERIFY(search.waitForFinished(60000));
    const QString window = QString::fromLatin1(search.readAllStandardOutput()).trimmed().section(u("\n"), 0, 0);
    QVERIFY(!window.isEmpty());
    for (int attempt = 0; attempt < 10 && player.state() == QProcess::Running; ++attempt) {
        QProcess::execute(u("xdotool"), {u("mousemove"), u("--window"), window, u("373"), u("207"), u("click"), u("1")});
        player.waitForFinished(3000);
    }
    QCOMPARE(player.state(), QProcess::NotRunning);
    QCOMPARE(player.exitCode(), 0);

    // The updater installs and starts the new version in the player's working folder.
    QTRY_COMPARE_WITH_TIMEOUT(readFile(work + u("/started.txt")), QByteArray("5.0.9.0\n"), 60000);
    QProcess version;
    version.start(m_install + u("/pelorin"), {u("--version")});
    QVERIFY(version.waitForFinished(30000));
    QCOMPARE(version.readAllStandardOutput(), QByteArray("5.0.9.0\n"));
    QVERIFY(!QFile::exists(temp + u("/pelorin-5.0.9.0.tar.gz")));
    QVERIFY(service.log().contains("static"));
}

QTEST_GUILESS_MAIN(TestUpdater)
#include "tst_updater.moc"
