#include "TestFiles.h"
#include "app/AppConfig.h"

#include <QtTest>

#include <cstdio>

namespace {
// The getters of the values written below, one per line, as "key=value", so a child process can report what it reads.
QString dumpConfig()
{
    QString text;
    QTextStream out(&text);
    out << "FirstLaunch=" << AppConfig::firstLaunch() << '\n'
        << "LastAutoShowDayOfYear=" << AppConfig::lastAutoShowDayOfYear() << '\n'
        << "AudioChannelMode=" << AppConfig::audioChannelMode() << '\n'
        << "Brightness=" << AppConfig::brightness() << '\n'
        << "LatestOpenDirectory=" << AppConfig::latestOpenDirectory() << '\n'
        << "EngineComboBoxIndex=" << AppConfig::engineComboBoxIndex() << '\n'
        << "DownloadDirectory=" << AppConfig::downloadDirectory() << '\n'
        << "ServiceHost=" << AppConfig::serviceHost() << '\n';
    return text;
}

QString readInChild(const QString &directory)
{
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--dump-config"), directory});
    if (!child.waitForFinished(30000)) {
        child.kill();
        child.waitForFinished();
        return QString();
    }
    return QString::fromUtf8(child.readAllStandardOutput());
}
} // namespace

class TestAppConfig : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void onlyWritesMakeTheFileAndTheySurviveANewProcess();
    void unconvertibleValuesReadAsZero();

private:
    QTemporaryDir m_dir;
};

void TestAppConfig::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(QDir::setCurrent(m_dir.path()));
}

void TestAppConfig::onlyWritesMakeTheFileAndTheySurviveANewProcess()
{
    dumpConfig();
    AppConfig::instance()->sync();
    QVERIFY(!QFile::exists(QStringLiteral("Config.ini")));

    AppConfig::setFirstLaunch(0);
    AppConfig::setLastAutoShowDayOfYear(366);
    AppConfig::setAudioChannelMode(QStringLiteral("LeftAudioChannel"));
    AppConfig::setBrightness(0);
    AppConfig::setLatestOpenDirectory(QStringLiteral("/home/用户/种子"));
    AppConfig::setEngineComboBoxIndex(-2);
    AppConfig::setDownloadDirectory(QStringLiteral("/tmp/下载 目录"));
    AppConfig::setServiceHost(QStringLiteral("example.test:8080"));
    AppConfig::instance()->sync();

    QCOMPARE(readInChild(m_dir.path()), dumpConfig());

    // The stored names, misspellings included, are what other versions read.
    const QString ini = QString::fromUtf8(readFile(QStringLiteral("Config.ini")));
    QVERIFY(ini.contains(QStringLiteral("[AccountOpeartionDialogMiscPage]\nLastAutoShowDayOfYear=366")));
    QVERIFY(ini.contains(QStringLiteral("[BTResourceFunctionDialogParsePage]")));
    QVERIFY(ini.contains(QStringLiteral("[Application]\nFirstLaunch=0")));
}

void TestAppConfig::unconvertibleValuesReadAsZero()
{
    QTemporaryDir other;
    QVERIFY(writeFile(QDir(other.path()).filePath(QStringLiteral("Config.ini")), "[Player]\nBrightness=bright\n"
                      "[BTResourceFunctionDialogParsePage]\nEngineComboBoxIndex=two\n"));
    const QString dump = readInChild(other.path());
    QVERIFY2(dump.contains(QStringLiteral("Brightness=0\n")), qPrintable(dump));
    QVERIFY(dump.contains(QStringLiteral("EngineComboBoxIndex=0\n")));
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc == 3 && qstrcmp(argv[1], "--dump-config") == 0) {
        QDir::setCurrent(QString::fromLocal8Bit(argv[2]));
        std::fputs(dumpConfig().toUtf8().constData(), stdout);
        return 0;
    }
    TestAppConfig test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_appconfig.moc"
