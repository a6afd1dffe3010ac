// The pop-up notice, the update dialog and the start-up that runs them, against a scripted
// service. Runs under tools/on-x-server: the click on a notice image is real input from outside.
#include "DesktopInput.h"
#include "TestFiles.h"
#include "Eventually.h"
#include "FakePlayerEngine.h"
#include "ModalAnswerer.h"
#include "ScriptedHttpServer.h"

#include "app/AppConfig.h"
#include "app/ui/GuiResources.h"
#include "app/ui/StartUp.h"
#include "notices/ui/TanChuangDialog.h"
#include "notices/ui/UpdateDialog.h"
#include "service/ServiceClient.h"

#include <QApplication>
#include <QBuffer>
#include "UrlRecorder.h"
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QTimer>
#include <QtTest>

namespace {
const QList<QColor> kColours = {Qt::red, Qt::green, Qt::blue};

QByteArray png(const QColor &colour)
{
    QImage image(16, 16, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

QWidget *topLevelOf(const char *className)
{
    for (QWidget *widget : QApplication::allWidgets())
        if (qstrcmp(widget->metaObject()->className(), className) == 0)
            return widget;
    return nullptr;
}
} // namespace

class TestNotices : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void startUpWithAnotherVersionShowsOnlyTheUpdateDialog();
    void startUpGoesOnWithoutAnUpdate_data();
    void startUpGoesOnWithoutAnUpdate();
    void noticeShowsOnlyWhatItHasAndOneImageWithoutCarousel();
    void clickOpensTheLinkOfTheImageShown();
    void updateDownloadRefusals();

private:
    // A notice of count images, each link http://link.example/N.
    void serveNotice(int count, const QByteArray &enable = "\"true\"");
    void serveUpdate(const QString &version, const QString &path = QString(), const QString &sha256 = QString());
    QColor shownColour(TanChuangDialog &dialog) const;

    QTemporaryDir m_work;
    QTemporaryDir m_lock;
    ScriptedHttpServer m_server;
    UrlRecorder m_urls;
    DesktopInput m_input;
};

void TestNotices::initTestCase()
{
    QVERIFY(m_work.isValid() && m_lock.isValid());
    QVERIFY(QDir::setCurrent(m_work.path()));
    QVERIFY(m_server.listen());
    QVERIFY(m_input.start());
}

void TestNotices::init()
{
    m_server.clearRoutes();
    m_server.clearRequests();
    m_urls.urls.clear();
    AppConfig::setServiceHost(m_server.hostPort());
    AppConfig::setFirstLaunch(0);
}

void TestNotices::serveNotice(int count, const QByteArray &enable)
{
    QByteArray datas;
    for (int i = 0; i < count; ++i) {
        const QByteArray path = "/img/" + QByteArray::number(i) + ".png";
        m_server.serveData(path, png(kColours[i]), "image/png");
        datas += (i ? "," : "") + QByteArray("{\"img\":\"") + m_server.url(QString::fromLatin1(path)).toEncoded()
                 + "\",\"url\":\"http://link.example/" + QByteArray::number(i) + "\"}";
    }
    m_server.route("cfg=tanchuang", ScriptedResponse::json("{\"statu\":1,\"data\":{\"enable\":" + enable
                                                           + ",\"datas\":[" + datas + "]}}"));
}

void TestNotices::serveUpdate(const QString &version, const QString &path, const QString &sha256)
{
    QString data = u("{\"version\":\"%1\",\"desc\":\"修复若干问题\",\"path\":\"%2\"").arg(version, path);
    if (!sha256.isEmpty())
        data += u(",\"sha256\":\"%1\"").arg(sha256);
    m_server.route("do=getUpdateInfo", ScriptedResponse::json("{\"statu\":1,\"data\":" + data.toUtf8() + "}}"));
}

QColor TestNotices::shownColour(TanChuangDialog &dialog) const
{
    auto *client = dialog.findChild<QWidget *>(QStringLiteral("clientWidget"));
    return client->palette().brush(client->backgroundRole()).texture().toImage().pixelColor(0, 0);
}

void TestNotices::startUpWithAnotherVersionShowsOnlyTheUpdateDialog()
{
    serveUpdate(u("5.0.9.0"));
    serveNotice(1);
    bool checked = false;
    whenTrue(this, [] { return qobject_cast<UpdateDialog *>(QApplication::activeModalWidget()); },
             [&checked] {
                 auto *dialog = qobject_cast<UpdateDialog *>(QApplication::activeModalWidget());
                 QVERIFY(!topLevelOf("MainWindow") && !topLevelOf("TanChuangDialog"));
                 QVERIFY(dialog->findChild<QTextBrowser *>()->toPlainText().contains(u("5.0.9.0")));
                 checked = true;
                 dialog->close();
             });
    StartUp startUp(m_lock.path(), [](QWidget *page) { return new FakePlayerEngine(page); });
    QCOMPARE(startUp.run(), 0);
    QVERIFY(checked);
    // Nothing else was made: neither the announcements nor the notice were asked for.
    QCOMPARE(m_server.requests().size(), 1);

    // Started again by the updater after a failed update: the reason comes first, as plain text.
    ModalAnswerer answerer({u("确定")});
    StartUp::showUpdateFailure({u("pelorin"), u("--update-failed"), u("更新失败！<b>安装目录不可写</b>")});
    QCOMPARE(answerer.seen().size(), 1);
    QCOMPARE(answerer.seen()[0].title, u("更新"));
    QCOMPARE(answerer.seen()[0].text, u("更新失败！<b>安装目录不可写</b>"));
}

void TestNotices::startUpGoesOnWithoutAnUpdate_data()
{
    QTest::addColumn<QString>("service");
    QTest::newRow("same version") << u("same");
    QTest::newRow("another version with a blank") << u("blank");
    QTest::newRow("silent") << u("silent");
}

void TestNotices::startUpGoesOnWithoutAnUpdate()
{
    QFETCH(QString, service);
    serveNotice(2);
    if (service == u("same")) {
        serveUpdate(u("5.0.8.0"));
    } else if (service == u("blank")) {
        serveUpdate(u("5.0.8.0 "));
    } else {
        m_server.route("", ScriptedResponse::hang());
    }
    const bool updateShown = service == u("blank");
    const bool noticeShown = service == u("same");
    bool checked = false;
    // Nobody is logged in, so start-up ends in the account dialog; its close button ends the run.
    whenTrue(this,
             [] {
                 QWidget *modal = QApplication::activeModalWidget();
                 return modal && (modal->inherits("AccountFunctionDialog") || modal->inherits("UpdateDialog"));
             },
             [&] {
                 QWidget *modal = QApplication::activeModalWidget();
                 QCOMPARE(modal->inherits("UpdateDialog"), updateShown);
                 checked = true;
                 if (updateShown) {
                     modal->close();
                     return;
                 }
                 QWidget *window = topLevelOf("MainWindow");
                 QVERIFY(window && window->isVisible());
                 QWidget *notice = topLevelOf("TanChuangDialog");
                 QCOMPARE(notice && notice->isVisible(), noticeShown);
                 modal->findChild<QPushButton *>(QStringLiteral("loginPageClosePushButton"))->click();
             });
    StartUp startUp(m_lock.path(), [](QWidget *page) { return new FakePlayerEngine(page); });
    startUp.run();
    QVERIFY(checked);
    QVERIFY(!topLevelOf("MainWindow") && !topLevelOf("TanChuangDialog"));
}

void TestNotices::noticeShowsOnlyWhatItHasAndOneImageWithoutCarousel()
{
    ServiceClient client;
    QWidget parent;
    serveNotice(1);
    TanChuangDialog one(PopupNotice::fetch(&client, client.transferTimeout()), &parent);
    QVERIFY(one.enabled());
    QCOMPARE(shownColour(one), kColours[0]);
    QVERIFY(one.findChild<QPushButton *>(QStringLiteral("nextImagePushButton"))->isHidden());
    QVERIFY(!one.findChild<QTimer *>());

    // Switched off: only "true" switches it on.
    serveNotice(1, "\"1\"");
    QVERIFY(!PopupNotice::fetch(&client, client.transferTimeout()).shows());
    // Switched on without an image: nothing to show.
    serveNotice(0, "true");
    QVERIFY(!PopupNotice::fetch(&client, client.transferTimeout()).shows());
    m_server.route("cfg=tanchuang", ScriptedResponse::text("not json"));
    QVERIFY(!PopupNotice::fetch(&client, client.transferTimeout()).shows());
    // A silent service is given up on after the transfer timeout.
    m_server.route("cfg=tanchuang", ScriptedResponse::hang());
    client.setTransferTimeout(300);
    QVERIFY(!PopupNotice::fetch(&client, client.transferTimeout()).shows());
}

void TestNotices::clickOpensTheLinkOfTheImageShown()
{
    ServiceClient client;
    serveNotice(3);
    TanChuangDialog dialog(PopupNotice::fetch(&client, client.transferTimeout()), nullptr);
    dialog.move(100, 100);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    auto *carousel = dialog.findChild<QTimer *>();
    QVERIFY(carousel && carousel->isActive());
    carousel->stop(); // only the clicks move the images here
    auto *image = dialog.findChild<QWidget *>(QStringLiteral("clientWidget"));
    const QPoint centre = image->mapToGlobal(image->rect().center());
    QVERIFY(m_input.click(centre));
    QTRY_COMPARE(m_urls.urls, QList<QUrl>{QUrl(u("http://link.example/0"))});
    const auto press = [&](const char *button) {
        auto *b = dialog.findChild<QPushButton *>(QLatin1String(button));
        return m_input.click(b->mapToGlobal(b->rect().center()));
    };
    // Both ends wrap round, and the image shown follows.
    QVERIFY(press("previousImagePushButton"));
    QTRY_COMPARE(dialog.currentIndex(), 2);
    QVERIFY(press("nextImagePushButton"));
    QTRY_COMPARE(dialog.currentIndex(), 0);
    QVERIFY(press("nextImagePushButton"));
    QTRY_COMPARE(dialog.currentIndex(), 1);
    QCOMPARE(shownColour(dialog), kColours[1]);
    QVERIFY(m_input.click(centre));
    QTRY_COMPARE(m_urls.urls.size(), 2);
    QCOMPARE(m_urls.urls.last(), QUrl(u("http://link.example/1")));
    // Another button opens nothing; the close button hides the dialog.
    QVERIFY(m_input.click(centre, 3));
    QVERIFY(m_input.click(dialog.findChild<QPushButton *>(QStringLiteral("closePushButton"))->mapToGlobal(QPoint(14, 14))));
    QTRY_VERIFY(!dialog.isVisible());
    QCOMPARE(m_urls.urls.size(), 2);
}

void TestNotices::updateDownloadRefusals()
{
    QTemporaryDir temp;
    auto restore = qScopeGuard([] { qunsetenv("TMPDIR"); });
    const QByteArray package(300000, 'p');
    m_server.serveData("/static/Pelorin%20Next.tar.gz", package);
    const QString address = m_server.url(u("/static/Pelorin%20Next.tar.gz")).toString();
    const QString digest = QString::fromLatin1(QCryptographicHash::hash(package, QCryptographicHash::Sha256).toHex());
    const QString saved = temp.path() + u("/Pelorin Next.tar.gz");
    ServiceClient client;

    struct Case
    {
        const char *name;
        QString sha256;
        bool writable;
        QString path;
    };
    const Case cases[] = {
        {"another digest", QString(digest).replace(0, 1, u(digest.startsWith(u("0")) ? "1" : "0")), true, address},
        {"unwritable temporary folder", digest, false, address},
        {"network error", QString(), true, m_server.url(u("/static/missing.tar.gz")).toString()},
        {"not a web address", QString(), true, u("file://") + QCoreApplication::applicationFilePath()},
        // Saved whole, but no updater beside this program to hand it to.
        {"no updater", digest.toUpper(), true, address},
    };
    for (const Case &c : cases) {
        QFile::remove(saved);
        // A temporary folder that is not there (permissions would not stop root).
        qputenv("TMPDIR", (c.writable ? temp.path() : temp.path() + u("/gone")).toLocal8Bit());
        serveUpdate(u("5.0.7.9"), c.path, c.sha256);
        const UpdateInfo offered = UpdateDialog::ask(&client);
        QVERIFY2(UpdateDialog::offers(offered), c.name);
        UpdateDialog dialog(offered);
        auto *label = dialog.findChild<QLabel *>(QStringLiteral("updateStateLabel"));
        dialog.findChild<QPushButton *>(QStringLiteral("startUpdatePushButton"))->click();
        QVERIFY2(label->text() == u("更新失败！"), c.name);
        QCOMPARE(QFile::exists(saved), qstrcmp(c.name, "no updater") == 0);
    }

    // A second press while the package arrives starts nothing. The package goes to a part file
    // as it arrives, not into memory first.
    qputenv("TMPDIR", temp.path().toLocal8Bit());
    QFile::remove(saved);
    m_server.serveData("/static/slow.tar.gz", package, "application/octet-stream", 30000, 40);
    serveUpdate(u("5.0.7.9"), m_server.url(u("/static/slow.tar.gz")).toString());
    UpdateDialog dialog(UpdateDialog::ask(&client));
    auto *label = dialog.findChild<QLabel *>(QStringLiteral("updateStateLabel"));
    auto *start = dialog.findChild<QPushButton *>(QStringLiteral("startUpdatePushButton"));
    QString during;
    qint64 partBytes = 0;
    whenTrue(this, [label] { return label->text().startsWith(u("正在下载")) && !label->text().startsWith(u("正在下载0%")); },
             [&] {
                 during = label->text();
                 // The part file may have no name until it is complete: found among the open files.
                 for (const QFileInfo &fd : QDir(u("/proc/self/fd")).entryInfoList(QDir::System | QDir::Files)) {
                     if (fd.symLinkTarget().startsWith(temp.path()))
                         partBytes += QFileInfo(fd.absoluteFilePath()).size();
                 }
                 start->click();
             });
    start->click();
    QVERIFY(QRegularExpression(u("^正在下载\\d+%\\.\\.\\.$")).match(during).hasMatch());
    QCOMPARE(m_server.requestsMatching("slow.tar.gz").size(), 1);
    QVERIFY2(partBytes > 0 && partBytes < package.size(), qPrintable(QString::number(partBytes)));
    QFile whole(temp.path() + u("/slow.tar.gz"));
    QVERIFY(whole.open(QIODevice::ReadOnly) && whole.readAll() == package);
    QCOMPARE(QDir(temp.path()).entryList(QDir::Files), QStringList(u("slow.tar.gz")));
}

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    StartUp::prepareApplication();
    TestNotices test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_notices.moc"
