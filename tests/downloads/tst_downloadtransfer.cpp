#include "resources/DownloadTransfer.h"
#include "resources/FileSizeText.h"

#include "ScriptedHttpServer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>

namespace {
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

const QString kHash = QStringLiteral("0123456789abcdef0123456789abcdef01234567");
} // namespace

class TestDownloadTransfer : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void formatSpeedValues();
    void fileSizeTextAtTheBoundary();
    void fileNamesStayInsideTheDirectory();
    void downloadIsByteExactAndReplacesOldFiles();
    void droppedConnectionKeepsPartUntilCancelled();
    void answersThatAreNotTheFileFail();
    void cancelMidTransferLeavesNoFile();
    void cancelBeforeStartSendsNothing();
    void unusableDirectoryFails();
    void failedRenameFails();
    void failedWriteFails();
    void unknownSizeShowsNoPercentage();
    void severalTransfersAtOnce();
    void destroyingARunningTransferCleansUp();
    void sameFileTwiceKeepsTheRunningDownload();

private:
    BTResourceFile fileFor(const QString &name, const QByteArray &path, quint64 size) const;

    QTemporaryDir m_dir;
    ScriptedHttpServer m_server;
};

BTResourceFile TestDownloadTransfer::fileFor(const QString &name, const QByteArray &path, quint64 size) const
{
    BTResourceFile file;
    file.resourceHash = kHash;
    file.resourceIndex = 3;
    file.fileName = name;
    file.fileSize = size;
    file.downloadUrl = m_server.url(QString::fromLatin1(path)).toString();
    return file;
}

void TestDownloadTransfer::init()
{
    QVERIFY(m_dir.isValid());
    if (!m_server.port())
        QVERIFY(m_server.listen());
    m_server.clearRoutes();
    m_server.clearRequests();
    // Every case starts from an empty directory.
    const QStringList entries = QDir(m_dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    for (const QString &entry : entries) {
        const QString path = QDir(m_dir.path()).filePath(entry);
        if (QFileInfo(path).isDir())
            QDir(path).removeRecursively();
        else
            QFile::remove(path);
    }
}

void TestDownloadTransfer::formatSpeedValues()
{
    const QList<QPair<qint64, QString>> cases = {
        {0, QStringLiteral("0.00B/S")},
        {-1, QStringLiteral("0.00B/S")},
        {-5000000, QStringLiteral("0.00B/S")},
        {1, QStringLiteral("1.00B/S")},
        {1023, QStringLiteral("1023.00B/S")},
        {1024, QStringLiteral("1.00KB/S")},
        {1536, QStringLiteral("1.00KB/S")},
        {1048575, QStringLiteral("1023.00KB/S")},
        {1048576, QStringLiteral("1.00MB/S")},
        {5 * 1048576 + 524288, QStringLiteral("5.00MB/S")},
        {1073741823, QStringLiteral("1023.00MB/S")},
        {1073741824, QStringLiteral("1.00GB/S")},
        {qint64(3) * 1073741824 + 1, QStringLiteral("3.00GB/S")},
        {qint64(5000) * 1073741824, QStringLiteral("5000.00GB/S")},
    };
    for (const auto &c : cases)
        QCOMPARE(DownloadTransfer::formatSpeed(c.first), c.second);
}

void TestDownloadTransfer::fileSizeTextAtTheBoundary()
{
    QCOMPARE(fileSizeText(1073741824), QStringLiteral("1.00G"));
    QCOMPARE(fileSizeText(1073741823), QStringLiteral("1024.00MB"));
    QCOMPARE(fileSizeText(1572864), QStringLiteral("1.50MB"));
    QCOMPARE(fileSizeText(2147483648ULL), QStringLiteral("2.00G"));
    QCOMPARE(fileSizeText(0), QStringLiteral("0.00MB"));
    QCOMPARE(fileSizeText(1610612736), QStringLiteral("1.50G"));
}

void TestDownloadTransfer::fileNamesStayInsideTheDirectory()
{
    const QString fallback = kHash + QStringLiteral("_3.mp4");
    const QList<QPair<QString, QString>> cases = {
        {QStringLiteral("a:b?.mp4"), QStringLiteral("ab.mp4")},
        {QStringLiteral("\\/:*?\"<>|x.mp4"), QStringLiteral("x.mp4")},
        {QStringLiteral("../x"), QStringLiteral("..x")},
        {QStringLiteral("../../etc/passwd"), QStringLiteral("....etcpasswd")},
        {QStringLiteral(".."), fallback},
        {QStringLiteral("."), fallback},
        {QStringLiteral("/.."), fallback},
        {QString(), fallback},
        {QStringLiteral("<>"), fallback},
        {QStringLiteral("a\x01"
                        "b\nc\x7f\td.mp4"),
         QStringLiteral("abcd.mp4")},
        {QString(QChar(0x85)) + QStringLiteral("x.mp4"), QStringLiteral("x.mp4")},
        {QStringLiteral("电影 第1集.mkv"), QStringLiteral("电影 第1集.mkv")},
    };
    const QString directory = QFileInfo(m_dir.path()).canonicalFilePath();
    for (const auto &c : cases) {
        const BTResourceFile file = fileFor(c.first, "/v", 1);
        QCOMPARE(DownloadTransfer::safeFileName(file), c.second);
        DownloadTransfer transfer(file, m_dir.path());
        QCOMPARE(QFileInfo(transfer.finalPath()).fileName(), c.second);
        QCOMPARE(QFileInfo(transfer.finalPath()).absoluteDir().canonicalPath(), directory);
        QCOMPARE(transfer.partPath(), transfer.finalPath() + QStringLiteral(".tmp"));
    }

    // Without a usable hash the fallback still names a file.
    BTResourceFile bare;
    bare.fileName = QStringLiteral("..");
    bare.resourceHash = QStringLiteral("..");
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
    DownloadTransfer transfer(fileFor(QStringLiteral("a:b?.mp4"), "/video/one.mp4?ver=5063&rkey=k/", quint64(data.size())),
                              m_dir.path());
    const QString finalPath = QDir(m_dir.path()).filePath(QStringLiteral("ab.mp4"));
    QCOMPARE(transfer.finalPath(), finalPath);
    // A stale part file longer than the download, and an old file under the final name.
    QVERIFY(writeFile(transfer.partPath(), QByteArray(400000, 'x')));
    QVERIFY(writeFile(finalPath, "old"));

    QSignalSpy progress(&transfer, &DownloadTransfer::progressText);
    QSignalSpy speed(&transfer, &DownloadTransfer::speedText);
    QSignalSpy finished(&transfer, &DownloadTransfer::finished);
    QVERIFY(!transfer.isRunning());
    transfer.start();
    QVERIFY(transfer.isRunning());
    transfer.start(); // a second start changes nothing
    QVERIFY(finished.wait(10000));
    QCOMPARE(finished.count(), 1);
    QCOMPARE(finished.at(0).at(0).toBool(), true);
    QVERIFY(!transfer.isRunning());

    QCOMPARE(readFile(finalPath), data);
    QVERIFY(!QFile::exists(transfer.partPath()));
    QCOMPARE(m_server.requests().size(), 1);
    const RecordedRequest request = m_server.requests().at(0);
    QCOMPARE(request.method, QByteArray("GET"));
    QCOMPARE(request.target, QByteArray("/video/one.mp4?ver=5063&rkey=k/"));
    QVERIFY(!request.hasHeader("Cookie"));

    // Progress rises to exactly 100.00%, each with two decimals.
    const QStringList percents = texts(progress);
    QVERIFY(percents.size() >= 2);
    QCOMPARE(percents.last(), QStringLiteral("100.00%"));
    double previous = -1;
    const QRegularExpression percentForm(QStringLiteral("^\\d+\\.\\d\\d%$"));
    for (const QString &text : percents) {
        QVERIFY2(percentForm.match(text).hasMatch(), qPrintable(text));
        const double value = text.chopped(1).toDouble();
        QVERIFY(value > previous);
        previous = value;
    }
    // Rates while running; an empty text last.
    const QStringList rates = texts(speed);
    QVERIFY(rates.size() >= 2);
    QCOMPARE(rates.last(), QString());
    const QRegularExpression rateForm(QStringLiteral("^\\d+\\.00(B|KB|MB|GB)/S$"));
    for (int i = 0; i < rates.size() - 1; ++i)
        QVERIFY2(rateForm.match(rates.at(i)).hasMatch(), qPrintable(rates.at(i)));

    // Cancelling a finished download keeps the file.
    transfer.cancel();
    QCOMPARE(readFile(finalPath), data);

    // Batches far larger than the transfer's read buffer arrive whole and in order.
    const QByteArray large = patterned(5 * 1024 * 1024 + 123);
    m_server.serveData("/video/large", large, "video/mp4", 4 * 1024 * 1024, 0);
    DownloadTransfer big(fileFor(QStringLiteral("large.mp4"), "/video/large.mp4?ver=5063&rkey=k/", quint64(large.size())),
                         m_dir.path());
    QSignalSpy bigProgress(&big, &DownloadTransfer::progressText);
    QSignalSpy bigFinished(&big, &DownloadTransfer::finished);
    big.start();
    QVERIFY(bigFinished.wait(20000));
    QCOMPARE(bigFinished.at(0).at(0).toBool(), true);
    QCOMPARE(readFile(big.finalPath()), large);
    QCOMPARE(texts(bigProgress).last(), QStringLiteral("100.00%"));
}

void TestDownloadTransfer::droppedConnectionKeepsPartUntilCancelled()
{
    const QByteArray data = patterned(50000);
    ScriptedResponse response = ScriptedResponse::text(data);
    response.dropAfterBytes = 1000;
    m_server.route("/video/drop", response);
    DownloadTransfer transfer(fileFor(QStringLiteral("drop.mp4"), "/video/drop", quint64(data.size())), m_dir.path());
    QSignalSpy finished(&transfer, &DownloadTransfer::finished);
    QSignalSpy speed(&transfer, &DownloadTransfer::speedText);
    transfer.start();
    QVERIFY(finished.wait(10000));
    QCOMPARE(finished.at(0).at(0).toBool(), false);
    QCOMPARE(speed.last().at(0).toString(), QString());
    QVERIFY(!QFile::exists(transfer.finalPath()));
    QCOMPARE(readFile(transfer.partPath()), data.left(1000));

    // Deleting the failed row's transfer takes its part file along.
    transfer.cancel();
    QVERIFY(!QFile::exists(transfer.partPath()));
    QCOMPARE(finished.count(), 1);
}

void TestDownloadTransfer::answersThatAreNotTheFileFail()
{
    m_server.route("/video/missing", ScriptedResponse::text("no such file", 404));
    m_server.route("/video/moved", ScriptedResponse::text("moved", 302).withHeader("Location", "/video/elsewhere"));
    for (const QByteArray &path : {QByteArray("/video/missing"), QByteArray("/video/moved")}) {
        DownloadTransfer transfer(fileFor(QStringLiteral("x.mp4"), path, 100), m_dir.path());
        QSignalSpy finished(&transfer, &DownloadTransfer::finished);
        transfer.start();
        QVERIFY(finished.wait(10000));
        QCOMPARE(finished.at(0).at(0).toBool(), false);
        QVERIFY2(!QFile::exists(transfer.finalPath()), path.constData());
    }

    // An address that is not one fails too, without a request.
    BTResourceFile file = fileFor(QStringLiteral("y.mp4"), "/v", 100);
    file.downloadUrl.clear();
    DownloadTransfer transfer(file, m_dir.path());
    QSignalSpy finished(&transfer, &DownloadTransfer::finished);
    transfer.start();
    QVERIFY(finished.wait(10000));
    QCOMPARE(finished.at(0).at(0).toBool(), false);
    QVERIFY(!QFile::exists(transfer.finalPath()));
}

void TestDownloadTransfer::cancelMidTransferLeavesNoFile()
{
    const QByteArray data = patterned(400000);
    m_server.serveData("/video/slow", data, "video/mp4", 4096, 30);
    DownloadTransfer transfer(fileFor(QStringLiteral("slow.mp4"), "/video/slow", quint64(data.size())), m_dir.path());
    QSignalSpy progress(&transfer, &DownloadTransfer::progressText);
    QSignalSpy finished(&transfer, &DownloadTransfer::finished);
    transfer.start();
    QTRY_VERIFY_WITH_TIMEOUT(progress.count() >= 2, 10000);
    QVERIFY(QFile::exists(transfer.partPath()));

    transfer.cancel();
    QVERIFY(!transfer.isRunning());
    QCOMPARE(finished.count(), 1);
    QCOMPARE(finished.at(0).at(0).toBool(), false);
    QVERIFY(!QFile::exists(transfer.partPath()));
    QVERIFY(!QFile::exists(transfer.finalPath()));

    // Nothing comes back later, and the connection is gone.
    const int reports = progress.count();
    QTest::qWait(300);
    QCOMPARE(progress.count(), reports);
    QCOMPARE(finished.count(), 1);
    QVERIFY(!QFile::exists(transfer.partPath()));
    QVERIFY(!QFile::exists(transfer.finalPath()));
    QTRY_COMPARE_WITH_TIMEOUT(m_server.openConnections(), 0, 5000);

    // Starting again after a cancel does nothing.
    transfer.start();
    QVERIFY(!transfer.isRunning());
    QCOMPARE(m_server.requests().size(), 1);
}

void TestDownloadTransfer::cancelBeforeStartSendsNothing()
{
    m_server.serveData("/video/never", patterned(1000));
    DownloadTransfer transfer(fileFor(QStringLiteral("never.mp4"), "/video/never", 1000), m_dir.path());
    QSignalSpy finished(&transfer, &DownloadTransfer::finished);
    transfer.cancel();
    transfer.start();
    QVERIFY(!transfer.isRunning());
    QTest::qWait(100);
    QVERIFY(m_server.requests().isEmpty());
    QCOMPARE(finished.count(), 0);
    QVERIFY(!QFile::exists(transfer.partPath()));
}

void TestDownloadTransfer::unusableDirectoryFails()
{
    m_server.serveData("/video/any", patterned(1000));
    const QString notADirectory = QDir(m_dir.path()).filePath(QStringLiteral("plain"));
    QVERIFY(writeFile(notADirectory, "x"));
    const QStringList directories = {QDir(m_dir.path()).filePath(QStringLiteral("removed/deeper")), notADirectory};
    for (const QString &directory : directories) {
        DownloadTransfer transfer(fileFor(QStringLiteral("any.mp4"), "/video/any", 1000), directory);
        QSignalSpy finished(&transfer, &DownloadTransfer::finished);
        transfer.start();
        QCOMPARE(finished.count(), 1);
        QCOMPARE(finished.at(0).at(0).toBool(), false);
        QVERIFY(!transfer.isRunning());
        QVERIFY(!QFile::exists(transfer.finalPath()));
    }
    QTest::qWait(50);
    QVERIFY(m_server.requests().isEmpty());

    // A part path taken by a directory that cannot be removed fails the same way.
    DownloadTransfer blocked(fileFor(QStringLiteral("blocked.mp4"), "/video/any", 1000), m_dir.path());
    QVERIFY(QDir().mkpath(QDir(blocked.partPath()).filePath(QStringLiteral("inner"))));
    QSignalSpy finished(&blocked, &DownloadTransfer::finished);
    blocked.start();
    QCOMPARE(finished.count(), 1);
    QCOMPARE(finished.at(0).at(0).toBool(), false);
    blocked.cancel();
    QVERIFY(QFileInfo(blocked.partPath()).isDir()); // not ours: left alone
}

void TestDownloadTransfer::failedRenameFails()
{
    const QByteArray data = patterned(5000);
    m_server.serveData("/video/taken", data);
    DownloadTransfer transfer(fileFor(QStringLiteral("taken.mp4"), "/video/taken", quint64(data.size())), m_dir.path());
    // A directory with content under the final name cannot be replaced.
    QVERIFY(QDir().mkpath(QDir(transfer.finalPath()).filePath(QStringLiteral("inner"))));
    QSignalSpy finished(&transfer, &DownloadTransfer::finished);
    transfer.start();
    QVERIFY(finished.wait(10000));
    QCOMPARE(finished.at(0).at(0).toBool(), false);
    QCOMPARE(readFile(transfer.partPath()), data);
    QVERIFY(QFileInfo(transfer.finalPath()).isDir());
}

void TestDownloadTransfer::failedWriteFails()
{
    // The process may not grow a file past 64 KiB for this case: the part file's writes fail.
    const QByteArray data = patterned(300000);
    m_server.serveData("/video/big", data, "video/mp4", 32768, 5);
    DownloadTransfer transfer(fileFor(QStringLiteral("big.mp4"), "/video/big", quint64(data.size())), m_dir.path());
    QSignalSpy finished(&transfer, &DownloadTransfer::finished);

    rlimit saved{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit limited = saved;
    limited.rlim_cur = 65536;
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &limited), 0);
    transfer.start();
    const bool ended = finished.wait(10000);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    QVERIFY(ended);
    QCOMPARE(finished.at(0).at(0).toBool(), false);
    QVERIFY(!QFile::exists(transfer.finalPath()));
    QVERIFY(QFileInfo(transfer.partPath()).size() <= 65536);
}

void TestDownloadTransfer::unknownSizeShowsNoPercentage()
{
    const QByteArray data = patterned(100000);
    m_server.serveData("/video/unknown", data, "video/mp4", 16384, 5);
    DownloadTransfer transfer(fileFor(QStringLiteral("unknown.mp4"), "/video/unknown", 0), m_dir.path());
    QSignalSpy progress(&transfer, &DownloadTransfer::progressText);
    QSignalSpy finished(&transfer, &DownloadTransfer::finished);
    transfer.start();
    QVERIFY(finished.wait(10000));
    QCOMPARE(finished.at(0).at(0).toBool(), true);
    QCOMPARE(progress.count(), 0);
    QCOMPARE(readFile(transfer.finalPath()), data);
}

void TestDownloadTransfer::severalTransfersAtOnce()
{
    QList<QByteArray> data;
    std::vector<std::unique_ptr<DownloadTransfer>> transfers;
    std::vector<std::unique_ptr<QSignalSpy>> progress;
    std::vector<std::unique_ptr<QSignalSpy>> finished;
    for (int i = 0; i < 3; ++i) {
        data << patterned(150000 + i * 7000).mid(i); // different contents and sizes
        const QByteArray path = "/video/many" + QByteArray::number(i);
        m_server.serveData(path, data.last(), "video/mp4", 4096, 20);
        transfers.emplace_back(new DownloadTransfer(
            fileFor(QStringLiteral("many%1.mp4").arg(i), path, quint64(data.last().size())), m_dir.path()));
        progress.emplace_back(new QSignalSpy(transfers.back().get(), &DownloadTransfer::progressText));
        finished.emplace_back(new QSignalSpy(transfers.back().get(), &DownloadTransfer::finished));
    }
    for (auto &transfer : transfers)
        transfer->start();

    // All three are under way at the same time.
    QTRY_VERIFY_WITH_TIMEOUT(progress[0]->count() >= 2 && progress[1]->count() >= 2 && progress[2]->count() >= 2,
                             10000);
    QVERIFY(finished[0]->isEmpty() && finished[1]->isEmpty() && finished[2]->isEmpty());

    QTRY_VERIFY_WITH_TIMEOUT(finished[0]->count() == 1 && finished[1]->count() == 1 && finished[2]->count() == 1,
                             20000);
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(finished[i]->at(0).at(0).toBool(), true);
        QCOMPARE(readFile(transfers[i]->finalPath()), data.at(i));
        QCOMPARE(progress[i]->last().at(0).toString(), QStringLiteral("100.00%"));
    }
}

void TestDownloadTransfer::destroyingARunningTransferCleansUp()
{
    const QByteArray data = patterned(200000);
    m_server.serveData("/video/gone", data, "video/mp4", 4096, 30);
    auto *transfer = new DownloadTransfer(fileFor(QStringLiteral("gone.mp4"), "/video/gone", quint64(data.size())),
                                          m_dir.path());
    QSignalSpy progress(transfer, &DownloadTransfer::progressText);
    bool signalledAfterDeath = false;
    bool dead = false;
    connect(transfer, &DownloadTransfer::finished, this, [&] { signalledAfterDeath = dead; });
    const QString part = transfer->partPath();
    const QString final = transfer->finalPath();
    transfer->start();
    QTRY_VERIFY_WITH_TIMEOUT(progress.count() >= 1, 10000);
    dead = true;
    delete transfer;
    QVERIFY(!signalledAfterDeath);
    QVERIFY(!QFile::exists(part));
    QTest::qWait(200);
    QVERIFY(!QFile::exists(part));
    QVERIFY(!QFile::exists(final));
}

void TestDownloadTransfer::sameFileTwiceKeepsTheRunningDownload()
{
    const QByteArray data = patterned(120000);
    // Slow enough that each download is still running well after its first bytes.
    m_server.serveData("/video/twice", data, "video/mp4", 2048, 20);
    const BTResourceFile file = fileFor(QStringLiteral("twice.mp4"), "/video/twice", quint64(data.size()));
    DownloadTransfer first(file, m_dir.path());
    QSignalSpy firstProgress(&first, &DownloadTransfer::progressText);
    QSignalSpy firstFinished(&first, &DownloadTransfer::finished);
    first.start();
    QTRY_VERIFY_WITH_TIMEOUT(firstProgress.count() >= 1, 10000);

    // A second download of the same file into the same directory refuses at once ...
    DownloadTransfer second(file, m_dir.path() + QStringLiteral("/./"));
    QCOMPARE(QFileInfo(second.partPath()).absoluteFilePath(), QFileInfo(first.partPath()).absoluteFilePath());
    QSignalSpy secondFinished(&second, &DownloadTransfer::finished);
    second.start();
    QCOMPARE(secondFinished.count(), 1);
    QCOMPARE(secondFinished.at(0).at(0).toBool(), false);
    // ... and deleting it leaves the running one's part file alone.
    second.cancel();
    QVERIFY(QFile::exists(first.partPath()));
    QVERIFY(firstFinished.wait(10000));
    QCOMPARE(firstFinished.at(0).at(0).toBool(), true);
    QCOMPARE(readFile(first.finalPath()), data);
    QCOMPARE(m_server.requests().size(), 1);

    // Once the first one has ended, the file can be fetched again, replacing it.
    DownloadTransfer again(file, m_dir.path());
    QSignalSpy againFinished(&again, &DownloadTransfer::finished);
    again.start();
    QVERIFY(againFinished.wait(10000));
    QCOMPARE(againFinished.at(0).at(0).toBool(), true);
    QCOMPARE(readFile(again.finalPath()), data);

    // A failed row deleted while a retry of the same file runs keeps the retry's part file.
    ScriptedResponse broken = ScriptedResponse::text(data);
    broken.dropAfterBytes = 100;
    m_server.route("/video/twice?broken", broken);
    BTResourceFile brokenFile = file;
    brokenFile.downloadUrl = m_server.url(QStringLiteral("/video/twice?broken")).toString();
    DownloadTransfer failed(brokenFile, m_dir.path());
    QSignalSpy failedFinished(&failed, &DownloadTransfer::finished);
    failed.start();
    QVERIFY(failedFinished.wait(10000));
    QCOMPARE(failedFinished.at(0).at(0).toBool(), false);
    DownloadTransfer retry(file, m_dir.path());
    QSignalSpy retryProgress(&retry, &DownloadTransfer::progressText);
    QSignalSpy retryFinished(&retry, &DownloadTransfer::finished);
    retry.start();
    QTRY_VERIFY_WITH_TIMEOUT(retryProgress.count() >= 1, 10000);
    failed.cancel();
    QVERIFY(QFile::exists(retry.partPath()));
    QVERIFY(retryFinished.wait(10000));
    QCOMPARE(retryFinished.at(0).at(0).toBool(), true);
    QCOMPARE(readFile(retry.finalPath()), data);
}

QTEST_GUILESS_MAIN(TestDownloadTransfer)
#include "tst_downloadtransfer.moc"
