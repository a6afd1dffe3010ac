// Download throughput: a 1 GiB library file fetched with the parse page's download button (file
// hash and file info requests, probing the download address, then the transfer into the download
// directory), timed from the click to the transfer's end, against `curl -o` of the same file's
// download address on the same video host, written to the same disk. Five runs each, alternating,
// first with nothing else running and then beside a busy loop on every core; the downloaded files
// are compared by size and removed after every run. The service and the player run on 127.0.0.1;
// the player works in this process without a window system if none is there.

#include "BenchFigures.h"
#include "BenchGoals.h"
#include "DemoService.h"
#include "PlayerSession.h"

#include "resources/ui/BTResourceDownloadListItemWidget.h"
#include "resources/ui/BTResourceFunctionDialog.h"
#include "resources/ui/BTResourceParseResultListItemWidget.h"
#include "resources/DownloadTransfer.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QThread>

#include <cstdio>
#include <vector>

namespace {

constexpr int Runs = 5;
constexpr qint64 FileSize = qint64(1) << 30;

double mibPerSecond(double ms)
{
    return ms > 0 ? double(FileSize) / (1024.0 * 1024.0) / (ms / 1000.0) : 0;
}


// Milliseconds of one curl transfer to the file, or a negative number on failure.
double curlDownload(const QString &url, const QString &target)
{
    QProcess curl;
    curl.start(QStringLiteral("curl"), {QStringLiteral("-s"), QStringLiteral("-o"), target, QStringLiteral("-w"),
                                        QStringLiteral("%{http_code} %{size_download}"), url});
    const qint64 start = monotonicNs();
    const bool ok = curl.waitForFinished(300000) && curl.exitStatus() == QProcess::NormalExit && curl.exitCode() == 0;
    const double ms = (monotonicNs() - start) / 1e6;
    if (curl.state() != QProcess::NotRunning) {
        curl.kill();
        curl.waitForFinished(5000);
    }
    const QString result = QString::fromUtf8(curl.readAllStandardOutput());
    const bool complete = result == QStringLiteral("200 %1").arg(FileSize) && QFileInfo(target).size() == FileSize;
    QFile::remove(target);
    if (!ok || !complete) {
        std::fprintf(stderr, "curl failed: %s\n", qPrintable(result));
        return -1;
    }
    return ms;
}

// Every core busy with a shell loop of its own while it lives: the load beside which the second
// series runs. The loops are this process's children and end with it.
class BusyLoops
{
public:
    BusyLoops()
    {
        for (int i = QThread::idealThreadCount(); i > 0; --i) {
            auto *loop = new QProcess;
            loop->start(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("while :; do :; done")});
            m_loops.push_back(loop);
        }
    }
    ~BusyLoops()
    {
        for (QProcess *loop : m_loops) {
            loop->kill();
            loop->waitForFinished(5000);
            delete loop;
        }
    }
    int count() const { return int(m_loops.size()); }

private:
    std::vector<QProcess *> m_loops;
};

// Runs of the player's download and curl's in turns; prints them and the ratio. False when no run
// of either completed.
bool measure(PlayerSession &player, const QString &magnet, const DemoService::Address &address,
             const QString &curlTarget, const char *condition)
{
    auto *downloads = player.dialog()->findChild<QListWidget *>(QStringLiteral("downloadPageDownloadListWidget"));
    std::vector<double> ours;
    std::vector<double> oursTransfer;
    std::vector<double> theirs;
    int failures = 0;
    std::printf("%s:\n", condition);
    for (int i = 0; i < Runs; ++i) {
        const QList<BTResourceParseResultListItemWidget *> rows = player.parse(magnet);
        if (rows.size() != 1) {
            ++failures;
            continue;
        }
        const int before = downloads->count();
        const qint64 start = monotonicNs();
        PlayerSession::downloadButton(rows.first())->click();
        auto *row = downloads->count() > before
                        ? qobject_cast<BTResourceDownloadListItemWidget *>(downloads->itemWidget(downloads->item(downloads->count() - 1)))
                        : nullptr;
        DownloadTransfer *transfer = row ? row->transfer() : nullptr;
        bool ended = false;
        bool succeeded = false;
        qint64 firstBytes = 0;
        // The listeners end with this run: the row and its transfer stay in the list.
        QObject listening;
        if (transfer) {
            QObject::connect(transfer, &DownloadTransfer::finished, &listening, [&](bool success) {
                ended = true;
                succeeded = success;
            });
            QObject::connect(transfer, &DownloadTransfer::progressText, &listening, [&] {
                if (!firstBytes)
                    firstBytes = monotonicNs();
            });
            // The row starts its transfer a moment after it appears.
            PlayerSession::waitFor([&] { return ended; }, 300000);
        }
        const double ms = (monotonicNs() - start) / 1e6;
        const QString path = transfer ? transfer->finalPath() : QString();
        const qint64 size = QFileInfo(path).size();
        const bool complete = succeeded && size == FileSize;
        if (transfer && transfer->isRunning())
            transfer->cancel();
        if (!path.isEmpty())
            QFile::remove(path);
        if (complete) {
            ours.push_back(ms);
            oursTransfer.push_back(firstBytes ? ms - (firstBytes - start) / 1e6 : ms);
        } else {
            const auto *state = player.dialog()->findChild<QLabel *>(QStringLiteral("parsePageParseStateLabel"));
            const auto *progress = row ? row->findChild<QLabel *>(QStringLiteral("downloadProgressLabel")) : nullptr;
            std::fprintf(stderr, "the player's download did not complete after %.0f ms (%s, ended %d, %s: %lld bytes; parse page: %s)\n",
                         ms, progress ? qPrintable(progress->text()) : "no transfer started", ended, qPrintable(path),
                         static_cast<long long>(size), state ? qPrintable(state->text()) : "");
            ++failures;
        }
        const double curlMs = curlDownload(address.download, curlTarget);
        if (curlMs >= 0)
            theirs.push_back(curlMs);
        else
            ++failures;
        if (complete && curlMs >= 0)
            std::printf("run %d: player %.0f MiB/s (%.0f ms), curl %.0f MiB/s (%.0f ms)\n", i + 1, mibPerSecond(ms), ms,
                        mibPerSecond(curlMs), curlMs);
        std::fflush(stdout);
    }
    if (ours.empty() || theirs.empty()) {
        std::fprintf(stderr, "no complete run (failures: %d)\n", failures);
        return false;
    }
    const Figures p = Figures::of(ours);
    const Figures t = Figures::of(oursTransfer);
    const Figures c = Figures::of(theirs);
    std::printf("failures: %d\n", failures);
    std::printf("player, click -> file complete:   %.0f MiB/s (%s)\n", mibPerSecond(p.median), qPrintable(p.text("ms", 0)));
    std::printf("player, first bytes -> complete:  %.0f MiB/s (%s)\n", mibPerSecond(t.median), qPrintable(t.text("ms", 0)));
    std::printf("baseline curl -o:                 %.0f MiB/s (%s)\n", mibPerSecond(c.median), qPrintable(c.text("ms", 0)));
    std::printf("ratio=%.3f (player rate / curl rate, click to complete, %s; goal >= %.2f)\n\n", c.median / p.median,
                condition, BenchGoals::DownloadRatio);
    std::fflush(stdout);
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    PlayerSession::prepareApplication();

    DemoService service;
    const QString payload = service.scratchDir() + QStringLiteral("/payload");
    QDir().mkpath(payload);
    std::printf("bench_download: writing a 1 GiB library file\n");
    std::fflush(stdout);
    bool ok = writeRandomFile(payload + QStringLiteral("/bench.mp4"), FileSize);
    const QString magnet = ok ? service.addFile(payload + QStringLiteral("/bench.mp4")) : QString();
    ok = ok && service.addUser(QStringLiteral("bench@pelorin.test"), QStringLiteral("bench1234"));
    if (!ok || magnet.isEmpty() || !service.start()) {
        std::fprintf(stderr, "could not set up the reference service with the 1 GiB file\n");
        return 1;
    }

    PlayerSession player(service.hostPort());
    if (!player.login(QStringLiteral("bench@pelorin.test"), QStringLiteral("bench1234"))) {
        std::fprintf(stderr, "could not log in\n");
        return 1;
    }
    const DemoService::Address address = service.address(DemoService::hashOf(magnet), 0, service.videoHosts().value(0));
    const QString curlTarget = service.scratchDir() + QStringLiteral("/curl.mp4");
    // Both read the file from the page cache.
    curlDownload(address.download, curlTarget);

    std::printf("1 GiB from a video host on 127.0.0.1 to %s\n\n", qPrintable(service.scratchDir()));
    bool measured = measure(player, magnet, address, curlTarget, "nothing else running");
    {
        BusyLoops load;
        const QByteArray condition = "beside " + QByteArray::number(load.count()) + " busy loops";
        measured = measure(player, magnet, address, curlTarget, condition.constData()) && measured;
    }
    service.stop();
    return measured ? 0 : 1;
}
