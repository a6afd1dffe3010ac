// The program as a user meets it: the real player (pelorin-e2e-driver runs its start-up in-process
// with the real engine) against a real pelorin-service with demo content, on the X server that
// tools/on-x-server provides. Each run is a process of its own with its own working directory,
// home and runtime directory, so that Config.ini, user.dat, PlayRecord.dat and the single-instance
// lock are the program's own and nothing of the machine's is touched.
#include "ServiceProcess.h"
#include "TestFiles.h"

#include "app/AppConfig.h"
#include "app/DesktopShortcut.h"
#include "resources/PlayRecordStore.h"

#include <QDirIterator>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

class TestE2EProduct : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void firstRunSecondRunAndASecondCopy();

private:
    // Runs one driver process to its end; its output goes to the test log.
    QByteArray runPlayer(const QString &script, int *exitCode);
    static QString lineAfter(const QByteArray &output, const QByteArray &prefix);

    ServiceProcess m_service;
    QTemporaryDir m_root;
    QString m_magnet;
    QString m_work;
};

void TestE2EProduct::initTestCase()
{
    QVERIFY(qEnvironmentVariableIsSet("DISPLAY"));
    QVERIFY(m_root.isValid());
    QByteArray demo;
    QCOMPARE(m_service.run({QStringLiteral("demo"), QStringLiteral("--clip-seconds"), QStringLiteral("20")}, &demo), 0);
    m_magnet = lineAfter(demo, "magnet:?").trimmed().prepend(QStringLiteral("magnet:?"));
    QVERIFY2(m_magnet.size() > 8, demo.constData());
    QVERIFY(m_service.start());

    m_work = m_root.filePath(QStringLiteral("player"));
    for (const char *dir : {"player", "home", "runtime", "downloads"})
        QVERIFY(QDir(m_root.path()).mkpath(QLatin1String(dir)));
    QVERIFY(QFile::setPermissions(m_root.filePath(QStringLiteral("runtime")),
                                  QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
}

QByteArray TestE2EProduct::runPlayer(const QString &script, int *exitCode)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), m_root.filePath(QStringLiteral("home")));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_root.filePath(QStringLiteral("runtime")));
    env.remove(QStringLiteral("XDG_CONFIG_HOME"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));

    QProcess player;
    player.setProcessEnvironment(env);
    player.setWorkingDirectory(m_work);
    player.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QStringList arguments{QStringLiteral("--script"), script, QStringLiteral("--service"), m_service.hostPort(),
                          QStringLiteral("--magnet"), m_magnet, QStringLiteral("--download-dir"),
                          m_root.filePath(QStringLiteral("downloads"))};
    arguments << QStringLiteral("--user|demo@pelorin.test|--password|demo1234").split(QLatin1Char('|'));
    player.start(QStringLiteral(PELORIN_E2E_DRIVER), arguments);
    *exitCode = -1;
    if (!player.waitForStarted(10000))
        return QByteArray();
    if (!player.waitForFinished(180000)) {
        player.kill();
        player.waitForFinished(5000);
        qWarning("the player did not end within 180 s and was killed");
    } else if (player.exitStatus() == QProcess::NormalExit) {
        *exitCode = player.exitCode();
    }
    const QByteArray output = player.readAllStandardOutput();
    qInfo("%s: exit %d\n%s", qPrintable(script), *exitCode, output.constData());
    return output;
}

QString TestE2EProduct::lineAfter(const QByteArray &output, const QByteArray &prefix)
{
    for (const QByteArray &line : output.split('\n'))
        if (line.startsWith(prefix))
            return QString::fromUtf8(line.mid(prefix.size()));
    return QString();
}

void TestE2EProduct::firstRunSecondRunAndASecondCopy()
{
    // First start: no Config.ini but the service host; questions, login, paste, play, seek, stop, quit.
    QVERIFY(!QFile::exists(QDir(m_work).filePath(QStringLiteral("Config.ini"))));
    int status = 0;
    const QByteArray first = runPlayer(QStringLiteral("first-run"), &status);
    QCOMPARE(status, 0);
    QVERIFY(first.endsWith("done\n"));
    const QString firstFile = lineAfter(first, "file 0: ");
    const QString secondFile = lineAfter(first, "file 1: ");
    QVERIFY(!firstFile.isEmpty() && !secondFile.isEmpty());

    QVERIFY(QDir::setCurrent(m_work));
    QCOMPARE(AppConfig::firstLaunch(), 0u);
    QCOMPARE(AppConfig::autoLogin(), 1u);
    QCOMPARE(AppConfig::serviceHost(), m_service.hostPort());
    QVERIFY(QFile::exists(QStringLiteral("user.dat")));
    PlayRecordStore records; // the program's, in the working directory
    QVERIFY(records.load());
    QCOMPARE(records.size(), 1);
    QCOMPARE(records.at(0).fileName, firstFile);
    // "Yes" to the shortcut question: the launcher lands on the (test's own) desktop.
    QVERIFY(QFile::exists(m_root.filePath(QStringLiteral("home/Desktop/")) + DesktopShortcut::fileName()));
    QVERIFY(m_service.log().contains("www/user/login:login statu=1"));
    QVERIFY(m_service.log().contains("video:play http=20"));

    // Second start: automatic login, replay from the records, download, a second copy refused.
    const QByteArray second = runPlayer(QStringLiteral("second-run"), &status);
    QCOMPARE(status, 0);
    QVERIFY(second.endsWith("done\n"));
    QVERIFY(second.contains("ok   warned that the program runs already"));
    QVERIFY(second.contains("ok   a second copy refused"));
    QVERIFY(records.load());
    QCOMPARE(records.size(), 1);

    const QString downloaded = lineAfter(second, "downloaded: ");
    QVERIFY(downloaded.startsWith(m_root.filePath(QStringLiteral("downloads"))));
    QString libraryFile;
    QDirIterator it(m_service.dataDir() + QStringLiteral("/demo/payload"), QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        if (const QString path = it.next(); path.endsWith(QLatin1Char('/') + secondFile))
            libraryFile = path;
    QVERIFY2(!libraryFile.isEmpty(), qPrintable(secondFile));
    const QByteArray original = readFile(libraryFile);
    QVERIFY(original.size() > 100000);
    QVERIFY(readFile(downloaded) == original);
    QVERIFY(!QFile::exists(downloaded + QStringLiteral(".tmp")));
}

QTEST_GUILESS_MAIN(TestE2EProduct)
#include "tst_e2e_product.moc"
