#include "app/AppConfig.h"

#include <QtTest>

#include <cstdio>

namespace {
// Every getter, one per line, as "key=value", so a child process can report what it reads.
QString dumpConfig()
{
    QString text;
    QTextStream out(&text);
    out << "FirstLaunch=" << AppConfig::firstLaunch() << '\n'
        << "AutoLogin=" << AppConfig::autoLogin() << '\n'
        << "LastAutoShowDayOfYear=" << AppConfig::lastAutoShowDayOfYear() << '\n'
        << "LatestValue=" << AppConfig::latestValue(77) << '\n'
        << "VideoAspectRatio=" << AppConfig::videoAspectRatio() << '\n'
        << "AudioChannelMode=" << AppConfig::audioChannelMode() << '\n'
        << "ImageNormalize=" << AppConfig::imageNormalize() << '\n'
        << "RenderMode=" << AppConfig::renderMode() << '\n'
        << "Brightness=" << AppConfig::brightness() << '\n'
        << "Contrast=" << AppConfig::contrast() << '\n'
        << "Saturation=" << AppConfig::saturation() << '\n'
        << "Hue=" << AppConfig::hue() << '\n'
        << "ClipboardMonitor=" << AppConfig::clipboardMonitor() << '\n'
        << "LatestOpenDirectory=" << AppConfig::latestOpenDirectory() << '\n'
        << "EngineComboBoxIndex=" << AppConfig::engineComboBoxIndex() << '\n'
        << "LatestRequestVideoDomainsDayOfYear=" << AppConfig::latestRequestVideoDomainsDayOfYear() << '\n'
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
    void defaultsWithoutFile();
    void valuesSurviveANewProcess();
    void unconvertibleValuesReadAsZero();

private:
    QTemporaryDir m_dir;
};

void TestAppConfig::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY(QDir::setCurrent(m_dir.path()));
}

void TestAppConfig::defaultsWithoutFile()
{
    const QString expected = QStringLiteral("FirstLaunch=1\nAutoLogin=0\nLastAutoShowDayOfYear=0\nLatestValue=77\n"
                                            "VideoAspectRatio=default\nAudioChannelMode=StereoAudioChannel\n"
                                            "ImageNormalize=0\nRenderMode=Renderless\nBrightness=50\nContrast=50\n"
                                            "Saturation=50\nHue=50\nClipboardMonitor=1\nLatestOpenDirectory=.\n"
                                            "EngineComboBoxIndex=0\nLatestRequestVideoDomainsDayOfYear=0\n"
                                            "DownloadDirectory=\nServiceHost=127.0.0.1:17080\n");
    QCOMPARE(dumpConfig(), expected);
    QCOMPARE(AppConfig::serviceBase(), QStringLiteral("http://127.0.0.1:17080/server/"));
    AppConfig::instance()->sync();
    QVERIFY2(!QFile::exists(QStringLiteral("Config.ini")), "reading must not create the file");
}

void TestAppConfig::valuesSurviveANewProcess()
{
    AppConfig::setFirstLaunch(0);
    AppConfig::setAutoLogin(1);
    AppConfig::setLastAutoShowDayOfYear(366);
    AppConfig::setLatestValue(37);
    AppConfig::setVideoAspectRatio(QStringLiteral("16:9"));
    AppConfig::setAudioChannelMode(QStringLiteral("LeftAudioChannel"));
    AppConfig::setImageNormalize(1);
    AppConfig::setRenderMode(QStringLiteral("EVR"));
    AppConfig::setBrightness(0);
    AppConfig::setContrast(100);
    AppConfig::setSaturation(7);
    AppConfig::setHue(93);
    AppConfig::setClipboardMonitor(0);
    AppConfig::setLatestOpenDirectory(QStringLiteral("/home/用户/种子"));
    AppConfig::setEngineComboBoxIndex(-2);
    AppConfig::setLatestRequestVideoDomainsDayOfYear(12);
    AppConfig::setDownloadDirectory(QStringLiteral("/tmp/下载 目录"));
    AppConfig::setServiceHost(QStringLiteral("example.test:8080"));
    AppConfig::instance()->sync();

    QCOMPARE(readInChild(m_dir.path()), dumpConfig());

    // The stored names, misspellings included, are what other versions read.
    const QString ini = QString::fromUtf8([] {
        QFile file(QStringLiteral("Config.ini"));
        file.open(QIODevice::ReadOnly);
        return file.readAll();
    }());
    QVERIFY(ini.contains(QStringLiteral("[AccountOpeartionDialogMiscPage]\nLastAutoShowDayOfYear=366")));
    QVERIFY(ini.contains(QStringLiteral("[BTResourceFunctionalDialogDownloadPage]")));
    QVERIFY(ini.contains(QStringLiteral("[BTResourceFunctionDialogParsePage]")));
    QVERIFY(ini.contains(QStringLiteral("[Application]\nFirstLaunch=0")));
}

void TestAppConfig::unconvertibleValuesReadAsZero()
{
    QTemporaryDir other;
    QFile file(QDir(other.path()).filePath(QStringLiteral("Config.ini")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("[Player]\nBrightness=bright\nHue=-5x\n[BTResourceFunctionDialogParsePage]\nEngineComboBoxIndex=two\n");
    file.close();
    const QString dump = readInChild(other.path());
    QVERIFY2(dump.contains(QStringLiteral("Brightness=0\n")), qPrintable(dump));
    QVERIFY(dump.contains(QStringLiteral("Hue=0\n")));
    QVERIFY(dump.contains(QStringLiteral("EngineComboBoxIndex=0\n")));
    QVERIFY(dump.contains(QStringLiteral("Contrast=50\n")));
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
