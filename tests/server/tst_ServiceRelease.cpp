// Publishing an update in one step: "release" copies the package into the static folder, and the
// update item then names it with its SHA-256, as the player reads it.
#include "ServiceProcess.h"
#include "TestFiles.h"

#include "app/AppConfig.h"
#include "notices/UpdateInfo.h"
#include "service/Endpoints.h"
#include "TestClient.h"

#include <QCryptographicHash>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

class TestServiceRelease : public QObject
{
    Q_OBJECT

private slots:
    void releasePublishesThePackageWithItsDigest();
};

void TestServiceRelease::releasePublishesThePackageWithItsDigest()
{
    ServiceProcess service;
    QVERIFY(service.start({u("--no-video-hosts")}));
    AppConfig::setServiceHost(service.hostPort());
    QTemporaryDir packages;
    // A second release of the same version replaces the first.
    const QString package = packages.path() + u("/Pelorin 5.0.9.0.tar.gz");
    for (const QByteArray &content : {QByteArray(3 << 20, 'a'), QByteArray("the second build")}) {
        QFile file(package);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
        file.close();
        QCOMPARE(service.run({u("release"), package, u("5.0.9.0"), u("修复若干问题\n新增更新校验")}), 0);
        const UpdateInfo info = UpdateInfo::fromReply(testClient().call(Endpoints::updateInfo()));
        QCOMPARE(info.description, u("修复若干问题\n新增更新校验"));
        QCOMPARE(info.downloadUrl, u("http://%1/server/static/Pelorin 5.0.9.0.tar.gz").arg(service.hostPort()));
        QCOMPARE(info.sha256, QCryptographicHash::hash(content, QCryptographicHash::Sha256).toHex());
        QFile published(service.dataDir() + u("/static/Pelorin 5.0.9.0.tar.gz"));
        QVERIFY(published.open(QIODevice::ReadOnly));
        QCOMPARE(published.readAll(), content);
    }

    // Refused without a change: a missing package, missing words.
    QCOMPARE(service.run({u("release"), packages.path() + u("/missing.tar.gz"), u("5.1"), u("x")}), 2);
    QCOMPARE(service.run({u("release"), package, u("5.1")}), 2);
    QCOMPARE(UpdateInfo::fromReply(testClient().call(Endpoints::updateInfo())).serverVersion, u("5.0.9.0"));
}

QTEST_GUILESS_MAIN(TestServiceRelease)
#include "tst_ServiceRelease.moc"
