// Fetching resources the service has never seen, from a seeding peer on 127.0.0.1 (the engine's
// Python binding, the service given the peer directly; no DHT, no tracker):
// 1. Unknown hash to first frame: the real player in this process pastes the magnet link of a
//    ~200 MB H.264 clip into a service that has never seen it (fresh data each run) and plays it;
//    the whole path: file list (waits for the metadata), both resolution steps (the second waits
//    for the first piece), host probe, engine open, first rendered frame. Goal: under 3 s.
// 2. Throughput: `library fetch FILE.torrent` (the service's engine) against the Python binding
//    downloading the same torrent from the same seeder, whole processes timed, alternating for
//    three rounds; the best of each counts (the machine is shared). Both connect out over TCP.
//    Goal ratio (service throughput / Python throughput) >= 0.9.
// 3. First byte of a range in the middle of a file that has not arrived yet, the seeder limited
//    so that the fetch stays far behind the ranges asked for.
// Options: --size-mib N (throughput resource, default 1024), --runs N (first-frame runs, 3).
// The first measurement needs an X display with OpenGL (tools/on-x-server); without one it is
// skipped.

#include "BenchFigures.h"
#include "BenchGoals.h"
#include "LocalSwarm.h"
#include "PlayerSession.h"
#include "ServiceProcess.h"

#include "app/AppConfig.h"
#include "player/ui/MpvVideoWidget.h"
#include "resources/BTResourceFile.h"
#include "resources/ui/BTResourceParseResultListItemWidget.h"
#include "service/Endpoints.h"
#include "service/ServiceClient.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>

#include <cstdio>
#include <vector>

namespace {

QString u(const char *text)
{
    return QString::fromUtf8(text);
}

QStringList fetchArguments(const QString &peer)
{
    return {u("--quiet"), u("--fetch"), u("--no-dht"), u("--fetch-listen"), u("127.0.0.1:0"), u("--fetch-peer"), peer};
}

bool addVip(const ServiceProcess &service)
{
    return service.run({u("user"), u("add"), u("vip@pelorin.test"), u("vip-password"), u("--vip")}) == 0;
}

// Runs a process to its end; its wall time in ms, -1 on failure.
double timedRun(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    const qint64 start = monotonicNs();
    process.start(program, arguments);
    const bool ok = process.waitForFinished(30 * 60 * 1000) && process.exitStatus() == QProcess::NormalExit
                    && process.exitCode() == 0;
    const double ms = (monotonicNs() - start) / 1e6;
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(5000);
    }
    return ok ? ms : -1;
}

std::vector<double> firstFrames(const QString &peer, const QString &hash, int runs,
                                const QString &scratch, int *failures)
{
    std::vector<double> totals;
    for (int run = 0; run < runs; ++run) {
        ServiceProcess service(scratch + QStringLiteral("/frame-data%1").arg(run));
        if (!addVip(service) || !service.start(fetchArguments(peer))) {
            std::fprintf(stderr, "run %d: the service did not start\n", run + 1);
            ++*failures;
            continue;
        }
        PlayerSession player(service.hostPort());
        MpvVideoWidget *video = player.video();
        if (!video || !player.login(u("vip@pelorin.test"), u("vip-password"))) {
            std::fprintf(stderr, "run %d: the player did not start or log in\n", run + 1);
            ++*failures;
            continue;
        }
        bool framed = false;
        QElapsedTimer clock;
        double frameMs = -1;
        QObject::connect(video, &MpvVideoWidget::frameRendered, [&] {
            if (!framed) {
                framed = true;
                frameMs = clock.nsecsElapsed() / 1e6;
            }
        });
        clock.start();
        const QList<BTResourceParseResultListItemWidget *> rows =
            player.parse(u("magnet:?xt=urn:btih:") + hash + u("&dn=clip"));
        const double listed = clock.nsecsElapsed() / 1e6;
        if (rows.isEmpty()) {
            std::fprintf(stderr, "run %d: no file list\n%s", run + 1, service.log().right(2000).constData());
            ++*failures;
            continue;
        }
        PlayerSession::playButton(rows.first())->click();
        if (!PlayerSession::waitFor([&] { return framed; }, 60000)) {
            std::fprintf(stderr, "run %d: no frame\n%s", run + 1, service.log().right(3000).constData());
            ++*failures;
            player.stop();
            continue;
        }
        std::printf("  run %d: file list after %.0f ms, first frame after %.0f ms\n", run + 1, listed, frameMs);
        std::fflush(stdout);
        totals.push_back(frameMs);
        player.stop();
    }
    return totals;
}

// Milliseconds until the first bytes of each range arrive.
std::vector<double> middleRanges(const ServiceProcess &service, const QString &hash, qint64 size,
                                 const QString &scratch, int *failures)
{
    std::vector<double> times;
    // The channel reads its host from Config.ini in the working directory.
    QDir::setCurrent(scratch);
    AppConfig::setServiceHost(service.hostPort());
    ServiceClient client;
    QElapsedTimer waited;
    waited.start();
    // Each unanswered request waits up to the service's list wait for the metadata.
    while (!client.call(Endpoints::fileList(hash)).succeeded() && waited.elapsed() < 120000)
        continue;
    if (!client.call(Endpoints::login(u("vip@pelorin.test"), u("vip-password"))).succeeded()) {
        std::fprintf(stderr, "ranges: cannot log in\n");
        ++*failures;
        return times;
    }
    BTResourceFile file;
    file.resourceHash = hash;
    file.fileName = u("clip.mp4");
    const QVariantMap step = client.call(Endpoints::fileHash(file, localMacAddress())).data().toMap();
    file.fileHash = step.value(u("hash")).toString();
    file.fileIndex = step.value(u("index")).toUInt();
    file.jxhash = step.value(u("jxhash")).toString();
    file.size = step.value(u("size")).toULongLong();
    const QVariantMap info = client.call(Endpoints::fileInfo(file, 0, false, localMacAddress())).data().toMap();
    const QString address =
        QStringLiteral("http://%1/ftn_handler/%2").arg(service.videoHosts().value(0), info.value(u("code")).toString());
    const QByteArray cookie = info.value(u("com_cookie")).toString().toUtf8();
    QNetworkAccessManager manager;
    // From the end backwards, far ahead of where the fetch is.
    for (int i = 1; i <= 10; ++i) {
        const qint64 first = size - qint64(i) * (size / 12) + 12345;
        QNetworkRequest request{QUrl(address)};
        request.setRawHeader("Cookie", cookie);
        request.setRawHeader("Range", "bytes=" + QByteArray::number(first) + "-" + QByteArray::number(first + 65535));
        QElapsedTimer clock;
        clock.start();
        QNetworkReply *reply = manager.get(request);
        double firstByte = -1;
        QObject::connect(reply, &QNetworkReply::readyRead, [&] {
            if (firstByte < 0)
                firstByte = clock.nsecsElapsed() / 1e6;
        });
        ServiceClient::waitForReply(reply);
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (status != 206 || firstByte < 0) {
            std::fprintf(stderr, "ranges: HTTP %d at %lld\n%s", status, static_cast<long long>(first),
                         service.log().right(1500).constData());
            ++*failures;
        }
        else
            times.push_back(firstByte);
        reply->deleteLater();
    }
    return times;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const bool display = QGuiApplication::platformName() == QLatin1String("xcb");
    PlayerSession::prepareApplication();
    qint64 sizeMib = 1024;
    int runs = 3;
    const QStringList arguments = app.arguments();
    for (int i = 1; i + 1 < arguments.size(); ++i) {
        if (arguments[i] == u("--size-mib"))
            sizeMib = arguments[i + 1].toLongLong();
        else if (arguments[i] == u("--runs"))
            runs = arguments[i + 1].toInt();
    }
    if (!LocalSwarm::available()) {
        std::fprintf(stderr, "bench_fetch needs python3-libtorrent (tools/deps)\n");
        return 2;
    }
    QTemporaryDir scratch;
    LocalSwarm swarm(scratch.path() + u("/swarm"));
    int failures = 0;

    // 1. A real clip of about 200 MB (noisy picture at a high rate), seeded without a limit.
    std::vector<double> frames;
    if (display && runs > 0) {
        const QString clipFile = scratch.path() + u("/clip.mp4");
        QProcess ffmpeg;
        ffmpeg.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        ffmpeg.start(u("ffmpeg"), {u("-v"), u("error"), u("-y"), u("-f"), u("lavfi"), u("-i"),
                                   u("testsrc2=size=1280x720:rate=25,noise=alls=30:allf=t"), u("-t"), u("7"),
                                   u("-c:v"), u("libx264"), u("-preset"), u("ultrafast"), u("-qp"), u("8"),
                                   u("-pix_fmt"), u("yuv420p"), u("-movflags"), u("+faststart"), clipFile});
        const QString hash = ffmpeg.waitForFinished(300000) && ffmpeg.exitCode() == 0
                                 ? swarm.addResourceFile(u("clip"), clipFile, 1 << 20)
                                 : QString();
        const int seeder = hash.isEmpty() ? -1 : swarm.seed({u("clip")});
        if (seeder < 0) {
            std::fprintf(stderr, "could not make or seed the clip\n");
            return 1;
        }
        std::printf("1. unknown hash -> first frame, %.0f MB clip (%d runs, a fresh service each):\n",
                    QFileInfo(swarm.clipPath(u("clip"))).size() / 1e6, runs);
        std::fflush(stdout);
        frames = firstFrames(swarm.address(seeder), hash, runs, scratch.path(), &failures);
        swarm.stop(seeder);
    } else {
        std::printf("1. unknown hash -> first frame: skipped (--runs 0, or no X display: tools/on-x-server)\n");
    }

    // 2. Throughput of a whole resource of random bytes.
    const qint64 size = sizeMib << 20;
    const QString bigFile = scratch.path() + u("/big.bin");
    const QString bigHash = writeRandomFile(bigFile, size) ? swarm.addResourceFile(u("big"), bigFile, 2 << 20) : QString();
    const int seeder = bigHash.isEmpty() ? -1 : swarm.seed({u("big")});
    if (seeder < 0) {
        std::fprintf(stderr, "could not make or seed the %lld MiB resource\n", static_cast<long long>(sizeMib));
        return 1;
    }
    std::vector<double> ours, theirs;
    for (int round = 0; round < 3; ++round) {
        const QString base = scratch.path() + QStringLiteral("/round%1").arg(round);
        QDir().mkpath(base + u("/python"));
        const double python = timedRun(u("/usr/bin/python3"), {LocalSwarm::seederScript(), u("download"), base + u("/python"),
                                                                u("--peer"), swarm.address(seeder), swarm.torrentPath(u("big"))});
        const double service = timedRun(ServiceProcess::executable(),
                                        {u("library"), u("--data"), base + u("/data"), u("fetch"), swarm.torrentPath(u("big")),
                                         u("--no-dht"), u("--fetch-listen"), u("127.0.0.1:0"), u("--fetch-peer"),
                                         swarm.address(seeder)});
        if (python < 0 || service < 0) {
            ++failures;
            continue;
        }
        theirs.push_back(python);
        ours.push_back(service);
        QDir(base).removeRecursively();
    }

    // 3. Ranges far ahead of a fetch held to 8 MB/s.
    swarm.stop(seeder);
    const int slowSeeder = swarm.seed({u("big")}, 8 * 1000 * 1000);
    std::vector<double> firstBytes;
    {
        ServiceProcess service(scratch.path() + u("/range-data"));
        if (slowSeeder >= 0 && addVip(service) && service.start(fetchArguments(swarm.address(slowSeeder)))) {
            firstBytes = middleRanges(service, bigHash, size, scratch.path(), &failures);
        } else {
            std::fprintf(stderr, "ranges: no seeder or service\n");
            ++failures;
        }
    }

    std::printf("failures: %d\n", failures);
    if (!frames.empty()) {
        const Figures figures = Figures::of(frames);
        std::printf("unknown hash -> first rendered frame: %s\n", qPrintable(figures.text("ms")));
        std::printf("ratio=%.3f (first frame median / %.0f ms goal; goal <= 1)\n", figures.median / BenchGoals::FetchFirstFrameMs,
                    BenchGoals::FetchFirstFrameMs);
    }
    if (!ours.empty()) {
        const Figures service = Figures::of(ours);
        const Figures python = Figures::of(theirs);
        const double megabytes = size / 1e6;
        std::printf("whole fetch of %lld MiB: service (library fetch) %s, best %.0f MB/s; Python binding %s, best %.0f MB/s\n",
                    static_cast<long long>(sizeMib), qPrintable(service.text("ms", 0)), megabytes / (service.min / 1000),
                    qPrintable(python.text("ms", 0)), megabytes / (python.min / 1000));
        std::printf("ratio=%.3f (service throughput / Python binding throughput, best rounds; goal >= %.2f; "
                    "medians give %.3f)\n",
                    python.min / service.min, BenchGoals::FetchThroughputRatio, python.median / service.median);
    }
    if (!firstBytes.empty()) {
        const Figures figures = Figures::of(firstBytes);
        std::printf("first byte of a 64 KiB range not yet fetched (peer at 8 MB/s): median %.1f ms, max %.1f ms (n=%zu)\n",
                    figures.median, figures.max, figures.count);
    }
    return failures == 0 ? 0 : 1;
}
