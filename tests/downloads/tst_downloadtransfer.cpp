#include "resources/DownloadTransfer.h"
#include "TestFiles.h"
#include "resources/FileSizeText.h"

#include "ScriptedHttpServer.h"

#include <QSslKey>
#include <QSslSocket>
#include <QTcpServer>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>

namespace {
const QString kHash = QStringLiteral("0123456789abcdef0123456789abcdef01234567");

QStringList texts(const QSignalSpy &spy)
{
    QStringList out;
    for (const QList<QVariant> &arguments : spy)
        out << arguments.at(0).toString();
    return out;
}

// A transfer with a spy on everything it reports.
struct Run
{
    Run(const BTResourceFile &file, const QString &directory)
        : transfer(file, directory)
    { }
    // Whether it ended exactly once, as succeeded says (waiting for the end if need be).
    bool ends(bool succeeded)
    {
        if (finished.isEmpty())
            finished.wait(20000);
        return finished.count() == 1 && finished.at(0).at(0).toBool() == succeeded;
    }
    DownloadTransfer transfer;
    QSignalSpy progress{&transfer, &DownloadTransfer::progressText};
    QSignalSpy speed{&transfer, &DownloadTransfer::speedText};
    QSignalSpy finished{&transfer, &DownloadTransfer::finished};
};
// Answers every request on a TLS connection with the same file, as "localhost".
class TlsHost : public QTcpServer
{
public:
    explicit TlsHost(const QByteArray &file)
        : m_file(file)
    { }
    QSslCertificate certificate = certificateFrom(QStringLiteral("localhost.crt"));

private:
    static QSslCertificate certificateFrom(const QString &name)
    {
        QFile pem(QStringLiteral(PELORIN_DOWNLOADS_TEST_DATA "/") + name);
        return pem.open(QIODevice::ReadOnly) ? QSslCertificate(pem.readAll()) : QSslCertificate();
    }
    void incomingConnection(qintptr descriptor) override
    {
        auto *socket = new QSslSocket(this);
        QFile key(QStringLiteral(PELORIN_DOWNLOADS_TEST_DATA "/localhost.key"));
        key.open(QIODevice::ReadOnly);
        socket->setPrivateKey(QSslKey(key.readAll(), QSsl::Ec));
        socket->setLocalCertificate(certificate);
        socket->setSocketDescriptor(descriptor);
        connect(socket, &QSslSocket::readyRead, socket, [this, socket] {
            m_request += socket->readAll();
            if (!m_request.contains("\r\n\r\n"))
                return;
            socket->write("HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(m_file.size()) + "\r\n\r\n" + m_file);
            socket->disconnectFromHost();
        });
        connect(socket, &QSslSocket::disconnected, socket, &QObject::deleteLater);
        socket->startServerEncryption();
    }
    QByteArray m_file;
    QByteArray m_request;
};
} // namespace

class TestDownloadTransfer : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void textForms();
    void fileNamesStayInsideTheDirectory();
    void downloadIsByteExactAndReplacesOldFiles();
    void receivesWhileThisThreadIsBusy();
    void failuresLeaveNoFinalFile();
    void failedWriteFails();
    void cancelRemovesAndDestroyKeepsThePart();
    void resumeContinuesFromThePart();
    void sameFileTwiceKeepsTheRunningDownload();
    void httpsChecksTheHost();

private:
    BTResourceFile fileFor(const QString &name, const QByteArray &path, quint64 size = 1000) const
    {
        BTResourceFile file;
        file.resourceHash = kHash;
        file.resourceIndex = 3;
        file.fileName = name;
        file.fileSize = size;
        file.downloadUrl = m_server.url(QString::fromLatin1(path)).toString();
        return file;
    }
    QString inDir(const QString &name) const { return QDir(m_dir.path()).filePath(name); }

    QTemporaryDir m_dir;
    ScriptedHttpServer m_server;
};

void TestDownloadTransfer::init()
{
    QVERIFY(m_dir.isValid());
    if (!m_server.port())
        QVERIFY(m_server.listen());
    m_server.clearRoutes();
    m_server.clearRequests();
    // Every case starts from an empty directory.
    for (const QFileInfo &entry :
         QDir(m_dir.path()).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden))
        QVERIFY(entry.isDir() ? QDir(entry.filePath()).removeRecursively() : QFile::remove(entry.filePath()));
}

void TestDownloadTransfer::textForms()
{
    // Boundaries only: negative, a unit's last value, beyond the largest unit.
    const qint64 kB = 1024, MB = kB * kB, GB = MB * kB;
    QCOMPARE(DownloadTransfer::formatSpeed(-1), QStringLiteral("0.0B/S"));
    QCOMPARE(DownloadTransfer::formatSpeed(MB - 1), QStringLiteral("1023.9KB/S"));
    QCOMPARE(DownloadTransfer::formatSpeed(5000 * GB), QStringLiteral("5000.0GB/S"));
    QCOMPARE(fileSizeText(quint64(GB)), QStringLiteral("1.00G"));
    QCOMPARE(fileSizeText(quint64(GB - 1)), QStringLiteral("1024.00MB"));
    QCOMPARE(fileSizeText(0), QStringLiteral("0.00MB"));
}

void TestDownloadTransfer::fileNamesStayInsideTheDirectory()
{
    // Unsafe characters go; a name that is left empty or a dot name falls back to hash and index.
    const QList<QPair<QString, const char *>> cases = {
        {QStringLiteral("\\/:*?\"<>|x.mp4"), "x.mp4"},
        {QStringLiteral("../../etc/passwd"), "....etcpasswd"},
        {QStringLiteral(".."), nullptr},
        {QStringLiteral("<>"), nullptr},
        {QStringLiteral("a\x01" "b\nc\x7f\td.mp4"), "abcd.mp4"},
        {QString(QChar(0x85)) + QStringLiteral("x.mp4"), "x.mp4"},
        {QStringLiteral("电影 第1集.mkv"), "电影 第1集.mkv"}};
    const QString directory = QFileInfo(m_dir.path()).canonicalFilePath();
    for (const auto &c : cases) {
        const QString expected = c.second ? QString::fromUtf8(c.second) : kHash + QStringLiteral("_3.mp4");
        DownloadTransfer transfer(fileFor(c.first, "/v", 1), m_dir.path());
        QCOMPARE(QFileInfo(transfer.finalPath()).fileName(), expected);
        QCOMPARE(QFileInfo(transfer.finalPath()).absoluteDir().canonicalPath(), directory);
    }

    // Without a usable hash the fallback still names a file.
    BTResourceFile bare;
    bare.fileName = bare.resourceHash = QStringLiteral("..");
    bare.resourceIndex = 7;
    QCOMPARE(DownloadTransfer::safeFileName(bare), QStringLiteral("video_7.mp4"));
}

void TestDownloadTransfer::downloadIsByteExactAndReplacesOldFiles()
{
    const QByteArray data = patterned(300000);
    m_server.serveData("/video/one", data, "video/mp4", 65536, 20);
    Run run(fileFor(QStringLiteral("a:b?.mp4"), "/video/one.mp4?ver=5063&rkey=k/", quint64(data.size())), m_dir.path());
    DownloadTransfer &transfer = run.transfer;
    // A stale part file longer than the download, and an old file under the final name.
    QVERIFY(writeFile(transfer.partPath(), QByteArray(400000, 'x')));
    QVERIFY(writeFile(transfer.finalPath(), "old"));

    transfer.start();
    transfer.start(); // a second start changes nothing
    QVERIFY(run.ends(true));
    QCOMPARE(readFile(transfer.finalPath()), data);
    QVERIFY(!QFile::exists(transfer.partPath()));
    QCOMPARE(m_server.requests().size(), 1);
    QVERIFY(!m_server.requests().at(0).hasHeader("Cookie"));

    // Progress rises to exactly 100.00%; the rate is emptied at the end.
    const QStringList percents = texts(run.progress);
    QCOMPARE(percents.last(), QStringLiteral("100.00%"));
    for (int i = 1; i < percents.size(); ++i)
        QVERIFY(percents.at(i).chopped(1).toDouble() > percents.at(i - 1).chopped(1).toDouble());
    QCOMPARE(texts(run.speed).last(), QString());

    // Batches far larger than the transfer's read buffer arrive whole and in order.
    const QByteArray large = patterned(5 * 1024 * 1024 + 123);
    m_server.serveData("/video/large", large, "video/mp4", 4 * 1024 * 1024, 0);
    Run big(fileFor(QStringLiteral("large.mp4"), "/video/large.mp4?ver=5063&rkey=k/", quint64(large.size())),
            m_dir.path());
    big.transfer.start();
    QVERIFY(big.ends(true));
    QCOMPARE(readFile(big.transfer.finalPath()), large);

    // Bodies framed by chunks or by the end of the connection: tst_httpresponseparser.
}

void TestDownloadTransfer::receivesWhileThisThreadIsBusy()
{
    // The host runs on a thread of its own; this thread then only watches the part file grow,
    // without running its event loop, until the whole file is there.
    const QByteArray data = patterned(3 * 1024 * 1024 + 17);
    QThread hostThread;
    auto *host = new ScriptedHttpServer;
    host->serveData("/video/busy", data, "video/mp4", 65536, 0);
    QVERIFY(host->listen());
    host->moveToThread(&hostThread);
    hostThread.start();
    const auto stopHost = qScopeGuard([&] {
        QMetaObject::invokeMethod(host, [host] { delete host; }, Qt::BlockingQueuedConnection);
        hostThread.quit();
        hostThread.wait();
    });
    BTResourceFile file = fileFor(QStringLiteral("busy.mp4"), "/video/busy", quint64(data.size()));
    file.downloadUrl = host->url(QStringLiteral("/video/busy")).toString();
    Run run(file, m_dir.path());
    run.transfer.start();
    const QDeadlineTimer bound(20000);
    while (QFileInfo(run.transfer.partPath()).size() < data.size() && !bound.hasExpired())
        QThread::msleep(5);
    QCOMPARE(QFileInfo(run.transfer.partPath()).size(), qint64(data.size()));
    QVERIFY(run.ends(true));
    QCOMPARE(readFile(run.transfer.finalPath()), data);
    QCOMPARE(texts(run.progress).last(), QStringLiteral("100.00%"));
}

void TestDownloadTransfer::failuresLeaveNoFinalFile()
{
    const QByteArray data = patterned(50000);
    ScriptedResponse dropped = ScriptedResponse::text(data);
    dropped.dropAfterBytes = 1000;
    m_server.route("/video/drop", dropped);
    m_server.route("/video/missing", ScriptedResponse::text("no such file", 404));
    m_server.route("/video/moved", ScriptedResponse::text("moved", 302).withHeader("Location", "/video/elsewhere"));
    // Coded although the request asked for the bytes as they are: not the file.
    m_server.route("/video/coded", ScriptedResponse::text(data).withHeader("Content-Encoding", "gzip"));
    for (const QByteArray &path : {QByteArray("/video/drop"), QByteArray("/video/missing"), QByteArray("/video/moved"),
                                   QByteArray("/video/coded")}) {
        Run run(fileFor(QStringLiteral("x.mp4"), path, quint64(data.size())), m_dir.path());
        run.transfer.start();
        QVERIFY2(run.ends(false), path.constData());
        QVERIFY2(!QFile::exists(run.transfer.finalPath()), path.constData());
        // An error page never lands in the part file, where a resume would build on it.
        QCOMPARE(QFileInfo(run.transfer.partPath()).size(), path == "/video/drop" ? 1000 : 0);
        run.transfer.cancel();
        QVERIFY(!QFile::exists(run.transfer.partPath()));
    }
    QCOMPARE(m_server.requests().size(), 4);

    // Failures before any request: a directory that is missing or is a file, and a part
    // path taken by a directory that cannot be removed (not ours: left alone). They end at once.
    m_server.serveData("/video/any", patterned(1000));
    QVERIFY(writeFile(inDir(QStringLiteral("plain")), "x"));
    QVERIFY(QDir().mkpath(inDir(QStringLiteral("blocked.mp4.tmp/inner"))));
    const QList<QPair<QString, QString>> cases = {{QStringLiteral("any.mp4"), inDir(QStringLiteral("removed/deeper"))},
                                                  {QStringLiteral("any.mp4"), inDir(QStringLiteral("plain"))},
                                                  {QStringLiteral("blocked.mp4"), m_dir.path()}};
    for (const auto &c : cases) {
        Run run(fileFor(c.first, "/video/any"), c.second);
        run.transfer.start();
        QCOMPARE(run.finished.count(), 1);
        QVERIFY(run.ends(false));
        QVERIFY(!QFile::exists(run.transfer.finalPath()));
    }
    QVERIFY(QFileInfo(inDir(QStringLiteral("blocked.mp4.tmp"))).isDir());
}

void TestDownloadTransfer::failedWriteFails()
{
    // The process may not grow a file past 64 KiB for this case: the part file's writes fail.
    const QByteArray data = patterned(300000);
    m_server.serveData("/video/big", data, "video/mp4", 32768, 5);
    Run run(fileFor(QStringLiteral("big.mp4"), "/video/big", quint64(data.size())), m_dir.path());
    rlimit saved{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit limited = saved;
    limited.rlim_cur = 65536;
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &limited), 0);
    run.transfer.start();
    run.finished.wait(10000);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    QVERIFY(run.ends(false));
    QVERIFY(!QFile::exists(run.transfer.finalPath()));
    QVERIFY(QFileInfo(run.transfer.partPath()).size() <= 65536);
}

void TestDownloadTransfer::cancelRemovesAndDestroyKeepsThePart()
{
    const QByteArray data = patterned(400000);
    m_server.serveData("/video/slow", data, "video/mp4", 4096, 30);

    // Cancelled mid-transfer: ends as failed at once, the part file goes.
    Run run(fileFor(QStringLiteral("slow.mp4"), "/video/slow", quint64(data.size())), m_dir.path());
    run.transfer.start();
    QTRY_VERIFY_WITH_TIMEOUT(run.progress.count() >= 2, 10000);
    QVERIFY(QFile::exists(run.transfer.partPath()));
    run.transfer.cancel();
    QCOMPARE(run.finished.count(), 1);
    QVERIFY(run.ends(false));
    QVERIFY(!QFile::exists(run.transfer.partPath()));
    const int reports = run.progress.count();

    // Destroyed while running (the program closes): no signal from the dying object, and what
    // arrived stays in the part file for a later resume.
    auto *doomed =
        new DownloadTransfer(fileFor(QStringLiteral("gone.mp4"), "/video/slow", quint64(data.size())), m_dir.path());
    QSignalSpy doomedProgress(doomed, &DownloadTransfer::progressText);
    QSignalSpy doomedFinished(doomed, &DownloadTransfer::finished);
    const QString doomedPart = doomed->partPath();
    doomed->start();
    QTRY_VERIFY_WITH_TIMEOUT(doomedProgress.count() >= 1, 10000);
    delete doomed;
    QCOMPARE(doomedFinished.count(), 0);
    const QByteArray kept = readFile(doomedPart);
    QVERIFY(!kept.isEmpty() && kept.size() < data.size());
    QVERIFY(data.startsWith(kept));

    // Nothing comes back later, and the connections are gone.
    QTRY_COMPARE_WITH_TIMEOUT(m_server.openConnections(), 0, 5000);
    QCOMPARE(run.progress.count(), reports);
    QCOMPARE(run.finished.count(), 1);
    QCOMPARE(QDir(m_dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
             QStringList{QFileInfo(doomedPart).fileName()});

    // Deleting a row listed again after a restart removes the part file it never ran on.
    DownloadTransfer listed(fileFor(QStringLiteral("gone.mp4"), "/video/slow", quint64(data.size())), m_dir.path());
    listed.cancel();
    QVERIFY(!QFile::exists(doomedPart));
}

void TestDownloadTransfer::sameFileTwiceKeepsTheRunningDownload()
{
    const QByteArray data = patterned(61440);
    // Slow enough that each download is still running well after its first bytes.
    m_server.serveData("/video/twice", data, "video/mp4", 2048, 20);
    const BTResourceFile file = fileFor(QStringLiteral("twice.mp4"), "/video/twice", quint64(data.size()));
    Run first(file, m_dir.path());
    first.transfer.start();
    QTRY_VERIFY_WITH_TIMEOUT(first.progress.count() >= 1, 10000);

    // A second download of the same file into the same directory refuses at once ...
    Run second(file, m_dir.path() + QStringLiteral("/./"));
    QCOMPARE(QFileInfo(second.transfer.partPath()).absoluteFilePath(),
             QFileInfo(first.transfer.partPath()).absoluteFilePath());
    second.transfer.start();
    QCOMPARE(second.finished.count(), 1);
    QVERIFY(second.ends(false));
    // ... and deleting it leaves the running one's part file alone.
    second.transfer.cancel();
    QVERIFY(QFile::exists(first.transfer.partPath()));
    QVERIFY(first.ends(true));
    QCOMPARE(readFile(first.transfer.finalPath()), data);
    QCOMPARE(m_server.requests().size(), 1);
}

void TestDownloadTransfer::resumeContinuesFromThePart()
{
    const QByteArray data = patterned(200000);
    m_server.serveData("/video/ranged", data, "video/mp4", 16384, 0);
    ScriptedResponse whole = ScriptedResponse::withType("video/mp4", data, 200);
    m_server.route("/video/whole", whole);
    ScriptedResponse wrongStart = ScriptedResponse::withType("video/mp4", data.mid(1000), 206);
    m_server.route("/video/wrongstart", wrongStart.withHeader("Content-Range", "bytes 1000-199999/200000"));
    // Ends by closing the connection, which is a complete answer as far as HTTP goes.
    ScriptedResponse shortWithoutLength = ScriptedResponse::withType("video/mp4", data, 200);
    shortWithoutLength.contentLength = false;
    shortWithoutLength.dropAfterBytes = 150000;
    m_server.route("/video/short", shortWithoutLength);
    m_server.route("/video/empty", ScriptedResponse::withType("video/mp4", QByteArray(), 200));
    // The same file at a fresh address.
    const auto resolved = [this, &data](const QByteArray &path) {
        return fileFor(QStringLiteral("film.mp4"), path, quint64(data.size()));
    };

    // A part file from an earlier run continued with a range: tst_downloadresume, end to end.
    // A host that ignores the range: the part file starts over instead of growing a wrong file.
    {
        Run run(fileFor(QStringLiteral("film.mp4"), "/unused", quint64(data.size())), m_dir.path());
        QVERIFY(writeFile(run.transfer.partPath(), QByteArray(5000, 'x')));
        run.transfer.resume(resolved("/video/whole"));
        QVERIFY(run.ends(true));
        QCOMPARE(readFile(run.transfer.finalPath()), data);
        QCOMPARE(run.transfer.resumedFrom(), qint64(0));
        QVERIFY(QFile::remove(run.transfer.finalPath()));
    }
    // A failed transfer resumes at a new address; a range that starts elsewhere, or a file that
    // ends short, is a failure that keeps the part file as it was.
    {
        Run run(fileFor(QStringLiteral("film.mp4"), "/video/short", quint64(data.size())), m_dir.path());
        run.transfer.start();
        QVERIFY(run.ends(false));
        QCOMPARE(readFile(run.transfer.partPath()), data.left(150000));
        QVERIFY(!QFile::exists(run.transfer.finalPath()));
        run.transfer.resume(resolved("/video/wrongstart"));
        QTRY_COMPARE_WITH_TIMEOUT(run.finished.count(), 2, 20000);
        QCOMPARE(run.finished.at(1).at(0).toBool(), false);
        QCOMPARE(readFile(run.transfer.partPath()), data.left(150000));
        // An empty whole answer neither passes for the file nor empties the part.
        run.transfer.resume(resolved("/video/empty"));
        QTRY_COMPARE_WITH_TIMEOUT(run.finished.count(), 3, 20000);
        QCOMPARE(run.finished.at(2).at(0).toBool(), false);
        QCOMPARE(readFile(run.transfer.partPath()), data.left(150000));
        run.transfer.resume(resolved("/video/ranged"));
        QTRY_COMPARE_WITH_TIMEOUT(run.finished.count(), 4, 20000);
        QCOMPARE(run.finished.at(3).at(0).toBool(), true);
        QCOMPARE(readFile(run.transfer.finalPath()), data);
        QVERIFY(QFile::remove(run.transfer.finalPath()));
    }
    // A part file that is complete already only needs its rename: nothing is asked for.
    const int requests = m_server.requests().size();
    Run complete(fileFor(QStringLiteral("film.mp4"), "/unused", quint64(data.size())), m_dir.path());
    QVERIFY(writeFile(complete.transfer.partPath(), data));
    complete.transfer.resume(resolved("/video/ranged"));
    QVERIFY(complete.ends(true));
    QCOMPARE(readFile(complete.transfer.finalPath()), data);
    QCOMPARE(m_server.requests().size(), requests);
}

void TestDownloadTransfer::httpsChecksTheHost()
{
    QVERIFY(QSslSocket::supportsSsl());
    const QByteArray data = patterned(200000);
    TlsHost host(data);
    QVERIFY(!host.certificate.isNull());
    QVERIFY(host.listen(QHostAddress::LocalHost));
    BTResourceFile file = fileFor(QStringLiteral("secure.mp4"), "/v", quint64(data.size()));
    file.downloadUrl = QStringLiteral("https://localhost:%1/video/secure.mp4").arg(host.serverPort());

    // A certificate that no authority vouches for ends the transfer before any byte is written.
    Run refused(file, m_dir.path());
    refused.transfer.start();
    QVERIFY(refused.ends(false));
    QCOMPARE(QFileInfo(refused.transfer.partPath()).size(), 0);
    refused.transfer.cancel();

    // Trusted, the file arrives whole.
    const QSslConfiguration saved = QSslConfiguration::defaultConfiguration();
    const auto restore = qScopeGuard([&] { QSslConfiguration::setDefaultConfiguration(saved); });
    QSslConfiguration trusting = saved;
    trusting.setCaCertificates({host.certificate});
    QSslConfiguration::setDefaultConfiguration(trusting);
    Run trusted(file, m_dir.path());
    trusted.transfer.start();
    QVERIFY(trusted.ends(true));
    QCOMPARE(readFile(trusted.transfer.finalPath()), data);
}

QTEST_GUILESS_MAIN(TestDownloadTransfer)
#include "tst_downloadtransfer.moc"
