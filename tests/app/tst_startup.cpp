#include "app/AppConfig.h"
#include "app/DesktopShortcut.h"
#include "app/ui/GuiResources.h"
#include "app/SingleInstanceGuard.h"
#include "app/ui/StartUp.h"

#include "ModalAnswerer.h"

#include <QApplication>
#include "UrlRecorder.h"
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>

class TestStartUp : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void firstLaunchAsksTwiceThenNeverAgain();
    void aStaleLockIsTakenOver();

private:
    QString desktopFile() const { return DesktopShortcut::path(); }

    QTemporaryDir m_work;
    UrlRecorder m_urls;
};

void TestStartUp::initTestCase()
{
    QVERIFY(m_work.isValid());
    QVERIFY(QDir::setCurrent(m_work.path()));
    QVERIFY(desktopFile().startsWith(QString::fromLocal8Bit(qgetenv("HOME"))));
    // Qt's own button texts in Chinese: the questions below are answered by them.
    StartUp(m_work.path()).installTranslator();
}

void TestStartUp::firstLaunchAsksTwiceThenNeverAgain()
{
    // "No" twice: nothing made, nothing opened, and the flag is kept in Config.ini of the working
    // directory, so that the questions do not come again.
    QCOMPARE(AppConfig::firstLaunch(), 1u);
    StartUp startUp(m_work.path());
    ModalAnswerer answerer({QStringLiteral("否(N)"), QStringLiteral("否(N)")});
    startUp.askFirstLaunchQuestions();
    QVERIFY(answerer.done());
    QCOMPARE(answerer.seen().size(), 2); // their words are checked end to end (tests/e2e_product)
    QVERIFY(!QFile::exists(desktopFile()));
    QVERIFY(m_urls.urls.isEmpty());
    AppConfig::instance()->sync();
    QCOMPARE(QSettings(QStringLiteral("Config.ini"), QSettings::IniFormat)
                 .value(QStringLiteral("Application/FirstLaunch")).toUInt(), 0u);
    {
        // A question would block here until answered.
        ModalAnswerer none({QStringLiteral("否(N)")});
        startUp.askFirstLaunchQuestions();
        QVERIFY(none.seen().isEmpty());
    }

    // "Yes" twice: a shortcut that runs the real executable in the directory it was started
    // from, and the tutorial page of the service.
    AppConfig::setFirstLaunch(1);
    AppConfig::setServiceHost(QStringLiteral("127.0.0.1:9"));
    ModalAnswerer yes({QStringLiteral("是(Y)"), QStringLiteral("是(Y)")});
    startUp.askFirstLaunchQuestions();
    QVERIFY(yes.done());
    QFile shortcut(desktopFile());
    QVERIFY(shortcut.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(shortcut.readAll());
    QVERIFY(text.contains(QStringLiteral("Exec=\"") + QCoreApplication::applicationFilePath() + QLatin1Char('"')));
    QVERIFY(text.contains(QStringLiteral("Path=") + QDir::currentPath() + QLatin1Char('\n')));
    QVERIFY(text.contains(QStringLiteral("Name=Pelorin-观影神器\n")));
    QVERIFY(shortcut.permissions() & QFileDevice::ExeOwner);
    QCOMPARE(m_urls.urls,
             QList<QUrl>{QUrl(QStringLiteral("http://127.0.0.1:9/server/?r=www/default/page&p=jiaocheng"))});
}

void TestStartUp::aStaleLockIsTakenOver()
{
    QTemporaryDir lockDir;
    QProcess holder;
    holder.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--hold-lock"), lockDir.path()});
    auto stopHolder = qScopeGuard([&holder] {
        holder.kill();
        holder.waitForFinished();
    });
    QVERIFY(holder.waitForReadyRead(30000));
    QCOMPARE(holder.readAll(), QByteArray("held\n"));

    // The refusal of a second copy while the first lives is checked end to end (tests/e2e_product).
    int status = -1;

    // The holder dies without cleaning up: its lock must not block the next start.
    holder.kill();
    QVERIFY(holder.waitForFinished(30000));
    StartUp third(lockDir.path());
    QVERIFY(third.ensureSingleInstance(&status));
    // ... and while this one holds it, another is refused again.
    SingleInstanceGuard fourth(lockDir.path());
    QVERIFY(!fourth.tryAcquire());
}

int main(int argc, char *argv[])
{
    if (argc == 3 && qstrcmp(argv[1], "--hold-lock") == 0) {
        QCoreApplication app(argc, argv);
        SingleInstanceGuard guard(QString::fromLocal8Bit(argv[2]));
        if (!guard.tryAcquire())
            return 1;
        std::fputs("held\n", stdout);
        std::fflush(stdout);
        return app.exec(); // until killed
    }
    // Keep the shortcut out of the real desktop.
    QTemporaryDir home;
    qputenv("HOME", home.path().toLocal8Bit());
    qunsetenv("XDG_CONFIG_HOME");
    QApplication app(argc, argv);
    initGuiResources();
    TestStartUp test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_startup.moc"
