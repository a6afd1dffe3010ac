#include "resources/DownloadTransfer.h"
#include "resources/FileSizeText.h"

#include "ScriptedHttpServer.h"

#include <QtTest>

#include <csignal>
#include <sys/resource.h>

namespace {
const QString kHash = QStringLiteral("0123456789abcdef0123456789abcdef01234567");

QByteArray patterned(int size)
{
    QByteArray data(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        data[i] = char((i * 131 + i / 7) & 0xff);
    return data;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

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
} // namespace

class TestDownloadTransfer : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void textForms();
    void fileNamesStayInsideTheDirectory();
    void downloadIsByteExactAndReplacesOldFiles();
    void failuresLeaveNoFinalFile();
    void failedWriteFails();
    void cancelAndDestroyLeaveNothing();
    void severalTransfersAtOnce();
    void sameFileTwiceKeepsTheRunningDownload();

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
    const qint64 kB = 1024, MB = kB * kB, GB = MB * kB;
    const QList<qint64> speeds = {0,      -1, -5000000,        1,      1023, kB,         1536,
                                  MB - 1, MB, 5 * MB + MB / 2, GB - 1, GB,   3 * GB + 1, 5000 * GB};
    const QStringList speedTexts = QStringLiteral("0.0B/S 0.0B/S 0.0B/S 1.0B/S 1023.0B/S 1.0KB/S 1.5KB/S "
                                                  "1023.9KB/S 1.0MB/S 5.5MB/S 1023.9MB/S 1.0GB/S 3.0GB/S "
                                                  "5000.0GB/S")
                                       .split(QLatin1Char(' '));
    for (int i = 0; i < speeds.size(); ++i)
        QCOMPARE(DownloadTransfer::formatSpeed(speeds.at(i)), speedTexts.at(i));
    const QList<quint64> sizes = {quint64(GB), quint64(GB - 1),     quint64(MB + MB / 2), 2 * quint64(GB),
                                  0,           quint64(GB + GB / 2)};
    const QStringList sizeTexts = QStringLiteral("1.00G 1024.00MB 1.50MB 2.00G 0.00MB 1.50G").split(QLatin1Char(' '));
    for (int i = 0; i < sizes.size(); ++i)
        QCOMPARE(fileSizeText(sizes.at(i)), sizeTexts.at(i));
}

void TestDownloadTransfer::fileNamesStayInsideTheDirectory()
{
    // Unsafe characters go; a name that is left empty or a dot name falls back to hash and index.
    const QList<QPair<QString, const char *>> cases = {{QStringLiteral("a:b?.mp4"), "ab.mp4"},
                                                       {QStringLiteral("\\/:*?\"<>|x.mp4"), "x.mp4"},
                                                       {QStringLiteral("../x"), "..x"},
                                                       {QStringLiteral("../../etc/passwd"), "....etcpasswd"},
                                                       {QStringLiteral(".."), nullptr},
                                                       {QStringLiteral("."), nullptr},
                                                       {QStringLiteral("/.."), nullptr},
                                                       {QString(), nullptr},
                                                       {QStringLiteral("<>"), nullptr},
                                                       {QStringLiteral("a\x01"
                                                                       "b\nc\x7f\td.mp4"),
                                                        "abcd.mp4"},
                                                       {QString(QChar(0x85)) + QStringLiteral("x.mp4"), "x.mp4"},
                                                       {QStringLiteral("电影 第1集.mkv"), "电影 第1集.mkv"}};
    const QString directory = QFileInfo(m_dir.path()).canonicalFilePath();
    for (const auto &c : cases) {
        const QString expected = c.second ? QString::fromUtf8(c.second) : kHash + QStringLiteral("_3.mp4");
        const BTResourceFile file = fileFor(c.first, "/v", 1);
        QCOMPARE(DownloadTransfer::safeFileName(file), expected);
        DownloadTransfer transfer(file, m_dir.path());
        QCOMPARE(QFileInfo(transfer.finalPath()).fileName(), expected);
        QCOMPARE(QFileInfo(transfer.finalPath()).absoluteDir().canonicalPath(), directory);
        QCOMPARE(transfer.partPath(), transfer.finalPath() + QStringLiteral(".tmp"));
    }

    // Without a usable hash the fallback still names a file.
    BTResourceFile bare;
    bare.fileName = bare.resourceHash = QStringLiteral("..");
    bare.resourceIndex = 7;
    QCOMPARE(DownloadTransfer::safeFileName(bare), QStringLiteral("video_7.mp4"));

    // A directory given with a trailing separator joins without harm.
    DownloadTransfer trailing(fileFor(QStringLiteral("t.mp4"), "/v", 1), m_dir.path() + QLatin1Char('/'));
    QCOMPARE(QFileInfo(trailing.finalPath()).absoluteDir().canonicalPath(), directory);
}

void TestDownloadTransfer::downloadIsByteExactAndReplacesOldFiles()
{
    const QByteArray data = patterned(300000);
    m_server.serveData("/video/one", data, "video/mp4", 65536, 20);
    Run run(fileFor(QStringLiteral("a:b?.mp4"), "/video/one.mp4?ver=5063&rkey=k/", quint64(data.size())), m_dir.path());
    DownloadTransfer &transfer = run.transfer;
    QCOMPARE(transfer.finalPath(), inDir(QStringLiteral("ab.mp4")));
    // A stale part file longer than the download, and an old file under the final name.
    QVERIFY(writeFile(transfer.partPath(), QByteArray(400000, 'x')));
    QVERIFY(writeFile(transfer.finalPath(), "old"));

    QVERIFY(!transfer.isRunning());
    transfer.start();
    QVERIFY(transfer.isRunning());
    transfer.start(); // a second start changes nothing
    QVERIFY(run.ends(true));
    QVERIFY(!transfer.isRunning());
    QCOMPARE(readFile(transfer.finalPath()), data);
    QVERIFY(!QFile::exists(transfer.partPath()));
    QCOMPARE(m_server.requests().size(), 1);
    const RecordedRequest request = m_server.requests().at(0);
    QCOMPARE(request.method, QByteArray("GET"));
    QCOMPARE(request.target, QByteArray("/video/one.mp4?ver=5063&rkey=k/"));
    QVERIFY(!request.hasHeader("Cookie"));

    // Progress rises to exactly 100.00%, each with two decimals.
    const QStringList percents = texts(run.progress);
    QVERIFY(percents.size() >= 2);
    QCOMPARE(percents.last(), QStringLiteral("100.00%"));
    double previous = -1;
    for (const QString &text : percents) {
        QVERIFY2(QRegularExpression(QStringLiteral("^\\d+\\.\\d\\d%$")).match(text).hasMatch(), qPrintable(text));
        QVERIFY(text.chopped(1).toDouble() > previous);
        previous = text.chopped(1).toDouble();
    }
    // Rates while running (once a second, so maybe none in so short a transfer); an empty text last.
    const QStringList rates = texts(run.speed);
    QCOMPARE(rates.last(), QString());
    for (int i = 0; i < rates.size() - 1; ++i)
        QVERIFY2(QRegularExpression(QStringLiteral("^\\d+\\.\\d(B|KB|MB|GB)/S$")).match(rates.at(i)).hasMatch(),
                 qPrintable(rates.at(i)));

    // Cancelling a finished download keeps the file.
    transfer.cancel();
    QCOMPARE(readFile(transfer.finalPath()), data);

    // Batches far larger than the transfer's read buffer arrive whole and in order.
    const QByteArray large = patterned(5 * 1024 * 1024 + 123);
    m_server.serveData("/video/large", large, "video/mp4", 4 * 1024 * 1024, 0);
    Run big(fileFor(QStringLiteral("large.mp4"), "/video/large.mp4?ver=5063&rkey=k/", quint64(large.size())),
            m_dir.path());
    big.transfer.start();
    QVERIFY(big.ends(true));
    QCOMPARE(readFile(big.transfer.finalPath()), large);
    QCOMPARE(texts(big.progress).last(), QStringLiteral("100.00%"));

    // An unknown size downloads whole without a percentage.
    m_server.serveData("/video/unknown", data, "video/mp4", 16384, 5);
    Run unknown(fileFor(QStringLiteral("unknown.mp4"), "/video/unknown", 0), m_dir.path());
    unknown.transfer.start();
    QVERIFY(unknown.ends(true));
    QCOMPARE(unknown.progress.count(), 0);
    QCOMPARE(readFile(unknown.transfer.finalPath()), data);
}

void TestDownloadTransfer::failuresLeaveNoFinalFile()
{
    const QByteArray data = patterned(50000);
    ScriptedResponse dropped = ScriptedResponse::text(data);
    dropped.dropAfterBytes = 1000;
    m_server.route("/video/drop", dropped);
    m_server.route("/video/missing", ScriptedResponse::text("no such file", 404));
    m_server.route("/video/moved", ScriptedResponse::text("moved", 302).withHeader("Location", "/video/elsewhere"));
    for (const QByteArray &path :
         {QByteArray("/video/drop"), QByteArray("/video/missing"), QByteArray("/video/moved")}) {
        Run run(fileFor(QStringLiteral("x.mp4"), path, quint64(data.size())), m_dir.path());
        run.transfer.start();
        QVERIFY2(run.ends(false), path.constData());
        QVERIFY2(!QFile::exists(run.transfer.finalPath()), path.constData());
        QCOMPARE(texts(run.speed).value(run.speed.size() - 1), QString());
        run.transfer.cancel();
        QVERIFY(!QFile::exists(run.transfer.partPath()));
    }
    QCOMPARE(m_server.requests().size(), 3);
    m_server.clearRequests();

    // Failures before any request: no address, a directory that is missing or is a file, and a part
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
        QVERIFY(!run.transfer.isRunning());
        QVERIFY(!QFile::exists(run.transfer.finalPath()));
        run.transfer.cancel();
    }
    QVERIFY(QFileInfo(inDir(QStringLiteral("blocked.mp4.tmp"))).isDir());
    BTResourceFile noAddress = fileFor(QStringLiteral("y.mp4"), "/v", 100);
    noAddress.downloadUrl.clear();
    Run unaddressed(noAddress, m_dir.path());
    unaddressed.transfer.start();
    QVERIFY(unaddressed.ends(false));
    QVERIFY(!QFile::exists(unaddressed.transfer.finalPath()));

    // A directory with content under the final name cannot be replaced: the part file stays.
    const QByteArray small = patterned(5000);
    m_server.serveData("/video/taken", small);
    Run taken(fileFor(QStringLiteral("taken.mp4"), "/video/taken", quint64(small.size())), m_dir.path());
    QVERIFY(QDir().mkpath(QDir(taken.transfer.finalPath()).filePath(QStringLiteral("inner"))));
    taken.transfer.start();
    QVERIFY(taken.ends(false));
    QCOMPARE(readFile(taken.transfer.partPath()), small);
    QVERIFY(QFileInfo(taken.transfer.finalPath()).isDir());
    QCOMPARE(m_server.requests().size(), 1);
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

void TestDownloadTransfer::cancelAndDestroyLeaveNothing()
{
    const QByteArray data = patterned(400000);
    m_server.serveData("/video/slow", data, "video/mp4", 4096, 30);

    // Cancelled mid-transfer: ends as failed at once, the part file goes.
    Run run(fileFor(QStringLiteral("slow.mp4"), "/video/slow", quint64(data.size())), m_dir.path());
    run.transfer.start();
    QTRY_VERIFY_WITH_TIMEOUT(run.progress.count() >= 2, 10000);
    QVERIFY(QFile::exists(run.transfer.partPath()));
    run.transfer.cancel();
    QVERIFY(!run.transfer.isRunning());
    QCOMPARE(run.finished.count(), 1);
    QVERIFY(run.ends(false));
    QVERIFY(!QFile::exists(run.transfer.partPath()));
    const int reports = run.progress.count();

    // Destroyed while running: no signal from the dying object, no file left.
    auto *doomed =
        new DownloadTransfer(fileFor(QStringLiteral("gone.mp4"), "/video/slow", quint64(data.size())), m_dir.path());
    QSignalSpy doomedProgress(doomed, &DownloadTransfer::progressText);
    bool signalledAfterDeath = false;
    bool dead = false;
    connect(doomed, &DownloadTransfer::finished, this, [&] { signalledAfterDeath = dead; });
    const QString doomedPart = doomed->partPath();
    doomed->start();
    QTRY_VERIFY_WITH_TIMEOUT(doomedProgress.count() >= 1, 10000);
    dead = true;
    delete doomed;
    QVERIFY(!signalledAfterDeath);
    QVERIFY(!QFile::exists(doomedPart));

    // Nothing comes back later, and the connections are gone.
    QTest::qWait(200);
    QCOMPARE(run.progress.count(), reports);
    QCOMPARE(run.finished.count(), 1);
    QCOMPARE(m_server.requests().size(), 2);
    QVERIFY(QDir(m_dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(m_server.openConnections(), 0, 5000);
}

void TestDownloadTransfer::severalTransfersAtOnce()
{
    QList<QByteArray> data;
    std::vector<std::unique_ptr<Run>> runs;
    for (int i = 0; i < 3; ++i) {
        data << patterned(150000 + i * 7000).mid(i); // different contents and sizes
        const QByteArray path = "/video/many" + QByteArray::number(i);
        m_server.serveData(path, data.last(), "video/mp4", 4096, 20);
        runs.emplace_back(
            new Run(fileFor(QStringLiteral("many%1.mp4").arg(i), path, quint64(data.last().size())), m_dir.path()));
    }
    for (auto &run : runs)
        run->transfer.start();
    const auto all = [&runs](const std::function<bool(Run &)> &condition) {
        return std::all_of(runs.begin(), runs.end(), [&](auto &run) { return condition(*run); });
    };
    // All three are under way at the same time.
    QTRY_VERIFY_WITH_TIMEOUT(all([](Run &run) { return run.progress.count() >= 2; }), 10000);
    QVERIFY(all([](Run &run) { return run.finished.isEmpty(); }));
    for (int i = 0; i < 3; ++i) {
        QVERIFY(runs[i]->ends(true));
        QCOMPARE(readFile(runs[i]->transfer.finalPath()), data.at(i));
        QCOMPARE(texts(runs[i]->progress).last(), QStringLiteral("100.00%"));
    }
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

    // Once the first one has ended, the file can be fetched again, replacing it.
    Run again(file, m_dir.path());
    again.transfer.start();
    QVERIFY(again.ends(true));
    QCOMPARE(readFile(again.transfer.finalPath()), data);

    // A failed row deleted while a retry of the same file runs keeps the retry's part file.
    ScriptedResponse broken = ScriptedResponse::text(data);
    broken.dropAfterBytes = 100;
    m_server.route("/video/twice?broken", broken);
    BTResourceFile brokenFile = file;
    brokenFile.downloadUrl = m_server.url(QStringLiteral("/video/twice?broken")).toString();
    Run failed(brokenFile, m_dir.path());
    failed.transfer.start();
    QVERIFY(failed.ends(false));
    Run retry(file, m_dir.path());
    retry.transfer.start();
    QTRY_VERIFY_WITH_TIMEOUT(retry.progress.count() >= 1, 10000);
    failed.transfer.cancel();
    QVERIFY(QFile::exists(retry.transfer.partPath()));
    QVERIFY(retry.ends(true));
    QCOMPARE(readFile(retry.transfer.finalPath()), data);
}

QTEST_GUILESS_MAIN(TestDownloadTransfer)
#include "tst_downloadtransfer.moc"
