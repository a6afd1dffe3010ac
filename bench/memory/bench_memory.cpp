// Peak resident memory (VmHWM) while playing the first 720p demo clip for 20 s: a fresh player
// process (this executable with --player: the main window, account and resource dialogs and the
// libmpv engine with video output, logged in, parse, play) against `mpv --no-config --vo=gpu
// --ao=null` on the same play address, which draws through OpenGL as the player does, three runs
// each, alternating. For comparison it also measures mpv decoding without drawing (--vo=null).
// Needs an X display with OpenGL: run it under tools/on-x-server.

#include "BenchFigures.h"
#include "BenchGoals.h"
#include "DemoService.h"
#include "PlayerSession.h"

#include "player/PlayerEngine.h"
#include "resources/ui/BTResourceParseResultListItemWidget.h"

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <map>
#include <vector>

namespace {

constexpr int Runs = 3;
constexpr int PlayMs = 20000;

// Resident KiB of the process's mappings grouped by what backs them (a file, [heap], anonymous),
// largest first: BENCH_MEMORY_MAPS=1 prints them, to see where a miss comes from.
void printResidentByMapping()
{
    QFile smaps(QStringLiteral("/proc/self/smaps"));
    if (!smaps.open(QIODevice::ReadOnly))
        return;
    std::map<QByteArray, qint64> byName;
    QByteArray current;
    const QList<QByteArray> lines = smaps.readAll().split('\n');
    for (const QByteArray &line : lines) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() >= 5 && fields[0].contains('-') && !fields[0].endsWith(':'))
            current = fields.size() >= 6 ? fields[5] : QByteArrayLiteral("[anonymous]");
        else if (fields.size() >= 2 && fields[0] == "Rss:")
            byName[current] += fields[1].toLongLong();
    }
    std::vector<std::pair<qint64, QByteArray>> sorted;
    for (const auto &entry : byName)
        sorted.emplace_back(entry.second, entry.first);
    std::sort(sorted.rbegin(), sorted.rend());
    for (size_t i = 0; i < sorted.size() && i < 20; ++i)
        std::fprintf(stderr, "  %8.1f MiB  %s\n", sorted[i].first / 1024.0, sorted[i].second.constData());
}

// The player process: plays the first file of the magnet link for 20 s and prints its peak.
int playerMain(int argc, char *argv[])
{
    QApplication app(argc, argv);
    PlayerSession::prepareApplication();
    const QString host = QString::fromLocal8Bit(argv[2]);
    const QString magnet = QString::fromLocal8Bit(argv[3]);
    PlayerSession player(host);
    if (!player.video() || !player.login(QStringLiteral("demo@pelorin.test"), QStringLiteral("demo1234"))) {
        std::fprintf(stderr, "the player did not start with video output or could not log in\n");
        return 1;
    }
    const QList<BTResourceParseResultListItemWidget *> rows = player.parse(magnet);
    if (rows.isEmpty())
        return 1;
    PlayerSession::playButton(rows.first())->click();
    if (player.engine()->state() == PlayerEngine::Ready) {
        std::fprintf(stderr, "the player did not start playing\n");
        return 1;
    }
    PlayerSession::waitFor([] { return false; }, PlayMs);
    std::printf("peak %lld rss %lld position %d\n", peakResidentKiB(QCoreApplication::applicationPid()),
                residentKiB(QCoreApplication::applicationPid()), player.engine()->position());
    std::fflush(stdout);
    if (qEnvironmentVariableIsSet("BENCH_MEMORY_MAPS"))
        printResidentByMapping();
    player.stop();
    return 0;
}

// Samples a running process's peak until it ends or the time is up; its last reading.
qint64 watchPeak(QProcess &process, int timeoutMs)
{
    qint64 peak = 0;
    QElapsedTimer timer;
    timer.start();
    while (process.state() != QProcess::NotRunning && timer.elapsed() < timeoutMs) {
        peak = qMax(peak, peakResidentKiB(process.processId()));
        process.waitForFinished(100);
    }
    return peak;
}

void stopProcess(QProcess &process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(10000)) {
        process.kill();
        process.waitForFinished(5000);
    }
}

// Peak of an mpv process playing the address for 20 s with the given video output; 0 on failure.
qint64 mpvPeak(const QStringList &videoOutput, const QString &url, const QString &cookie)
{
    QProcess mpv;
    mpv.start(QStringLiteral("mpv"), QStringList{QStringLiteral("--no-config")} + videoOutput
                                         + QStringList{QStringLiteral("--ao=null"), QStringLiteral("--end=%1").arg(PlayMs / 1000),
                                                       QStringLiteral("--http-header-fields=Cookie: ") + cookie, url});
    mpv.waitForStarted(10000);
    const qint64 peak = watchPeak(mpv, PlayMs + 30000);
    const bool ok = mpv.state() == QProcess::NotRunning && mpv.exitStatus() == QProcess::NormalExit && mpv.exitCode() == 0;
    stopProcess(mpv);
    if (!ok) {
        std::fprintf(stderr, "mpv %s failed: %s\n", qPrintable(videoOutput.join(QLatin1Char(' '))), mpv.readAllStandardError().constData());
        return 0;
    }
    return peak;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc == 4 && qstrcmp(argv[1], "--player") == 0)
        return playerMain(argc, argv);

    QCoreApplication app(argc, argv);
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        std::fprintf(stderr, "bench_memory needs an X display with OpenGL (tools/on-x-server)\n");
        return 2;
    }
    DemoService service;
    std::printf("bench_memory: making the demo library (30 s clips)\n");
    std::fflush(stdout);
    if (!service.makeDemo(30) || !service.start()) {
        std::fprintf(stderr, "could not set up the reference service\n");
        return 1;
    }
    const QString magnet = service.magnets().value(0);
    // The first file the parse page lists for the demo resource is torrent file 0.
    const DemoService::Address address = service.address(DemoService::hashOf(magnet), 0, service.videoHosts().value(0));

    std::vector<double> ours;
    std::vector<double> theirs;
    std::vector<double> withGpu;
    int failures = 0;
    for (int i = 0; i < Runs; ++i) {
        QProcess player;
        if (qEnvironmentVariableIsSet("BENCH_MEMORY_MAPS"))
            player.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        player.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--player"), service.hostPort(), magnet});
        const bool finished = player.waitForFinished(PlayMs + 60000);
        stopProcess(player);
        const QString output = QString::fromUtf8(player.readAllStandardOutput());
        const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("peak (\\d+) rss (\\d+) position (\\d+)")).match(output);
        if (finished && m.hasMatch() && m.captured(3).toInt() > PlayMs / 2) {
            ours.push_back(m.captured(1).toDouble() / 1024.0);
            std::printf("run %d: player peak %.1f MiB (resident at the end %.1f MiB, played to %.1f s)\n", i + 1,
                        m.captured(1).toDouble() / 1024.0, m.captured(2).toDouble() / 1024.0, m.captured(3).toDouble() / 1000.0);
        } else {
            std::fprintf(stderr, "player run failed: %s %s\n", qPrintable(output), player.readAllStandardError().constData());
            ++failures;
        }

        const qint64 peak = mpvPeak({QStringLiteral("--vo=null")}, address.play, address.cookie);
        if (peak > 0) {
            theirs.push_back(peak / 1024.0);
            std::printf("run %d: mpv peak %.1f MiB\n", i + 1, peak / 1024.0);
        } else {
            ++failures;
        }
        // The goal's baseline: mpv drawing the video through OpenGL as the player does.
        // (The X11 EGL context: without XDG_RUNTIME_DIR mpv's default probing gives up.)
        const qint64 drawing =
            mpvPeak({QStringLiteral("--vo=gpu"), QStringLiteral("--gpu-context=x11egl")}, address.play, address.cookie);
        if (drawing > 0) {
            withGpu.push_back(drawing / 1024.0);
            std::printf("run %d: mpv --vo=gpu peak %.1f MiB\n", i + 1, drawing / 1024.0);
        }
        std::fflush(stdout);
    }
    service.stop();
    if (ours.empty() || theirs.empty()) {
        std::fprintf(stderr, "no complete run (failures: %d)\n", failures);
        return 1;
    }
    const Figures p = Figures::of(ours);
    const Figures m = Figures::of(theirs);
    std::printf("720p demo clip over 127.0.0.1, 20 s of playback; failures: %d\n", failures);
    std::printf("player peak resident:   %s\n", qPrintable(p.text("MiB")));
    std::printf("mpv --vo=null --ao=null: %s\n", qPrintable(m.text("MiB")));
    if (!withGpu.empty())
        std::printf("mpv --vo=gpu --ao=null (draws through OpenGL as the player does): %s\n",
                    qPrintable(Figures::of(withGpu).text("MiB")));
    std::printf("difference to mpv --vo=null %.1f MiB\n", p.median - m.median);
    if (withGpu.empty()) {
        std::printf("ratio=%.3f (player / mpv --vo=null peak)\n", p.median / m.median);
        return 0;
    }
    const Figures g = Figures::of(withGpu);
    std::printf("difference to mpv --vo=gpu %.1f MiB (goal <= %.0f MiB)\nratio=%.3f (player / mpv --vo=gpu peak)\n",
                p.median - g.median, BenchGoals::PlayingMemoryOverGpuMiB, p.median / g.median);
    return 0;
}
