// Time from the play button's click to the first rendered video frame: the file-hash and file-info
// requests, probing the video hosts, opening in the libmpv engine and rendering. The reference
// service serves the demo library on 127.0.0.1; the player runs in this process, logged in with the
// demo account, and the first run (cold caches, first engine start) is not counted. Each run parses
// the magnet link again, so every click takes both service round trips. Baseline: a whole
// `mpv --no-config --vo=null --ao=null --frames=1` process on the same play address.
// Needs an X display with OpenGL: run it under tools/on-x-server. With PELORIN_ENGINE_LOG=FILE the
// engine writes its own log there, with its timestamps and the stages of each run marked in it.

#include "BenchFigures.h"
#include "BenchGoals.h"
#include "DemoService.h"
#include "PlayerSession.h"

#include "app/ui/Application.h"

#include "player/mpv/MpvPlayerEngine.h"
#include "player/ui/MpvVideoWidget.h"
#include "player/PlayerEngine.h"
#include "resources/ui/BTResourceParseResultListItemWidget.h"
#include "service/ServiceClient.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QPushButton>

#include <cstdio>
#include <map>
#include <vector>

namespace {

constexpr int Runs = 10;

// Milliseconds since the click at which each stage of one run ended.
struct Stages {
    double fileHash = -1;
    double fileInfo = -1;
    double openCalled = -1;
    double opened = -1;
    double frame = -1;
};

void printStage(const char *name, std::vector<double> values)
{
    std::printf("  %-44s %s\n", name, qPrintable(Figures::of(std::move(values)).text("ms")));
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (QGuiApplication::platformName() != QLatin1String("xcb")) {
        std::fprintf(stderr, "bench_first_frame needs an X display with OpenGL (tools/on-x-server)\n");
        return 2;
    }
    PlayerSession::prepareApplication();

    DemoService service;
    std::printf("bench_first_frame: making the demo library (10 s clips)\n");
    std::fflush(stdout);
    if (!service.makeDemo(10) || !service.start()) {
        std::fprintf(stderr, "could not set up the reference service\n");
        return 1;
    }
    const QString magnet = service.magnets().value(0);

    int failures = 0;
    std::vector<Stages> runs;
    QString playedName;
    int playedIndex = -1;
    {
        PlayerSession player(service.hostPort());
        PlayerEngine *engine = player.engine();
        MpvVideoWidget *video = player.video();
        if (!engine || !video || !player.login(QStringLiteral("demo@pelorin.test"), QStringLiteral("demo1234"))) {
            std::fprintf(stderr, "the player did not start or could not log in\n");
            return 1;
        }

        QElapsedTimer clock;
        Stages stages;
        bool clicked = false;
        auto *mpvEngine = qobject_cast<MpvPlayerEngine *>(engine);
        const QByteArray engineLog = qgetenv("PELORIN_ENGINE_LOG");
        if (mpvEngine && !engineLog.isEmpty()) {
            mpv_set_property_string(mpvEngine->handle(), "msg-level", "all=debug");
            mpv_set_property_string(mpvEngine->handle(), "log-file", engineLog.constData());
        }
        const auto mark = [&](const char *stage) {
            if (!mpvEngine || engineLog.isEmpty())
                return;
            const QByteArray text = QByteArray("stage ") + stage + " at "
                + QByteArray::number(clock.nsecsElapsed() / 1e6, 'f', 1) + " ms";
            const char *args[] = {"print-text", text.constData(), nullptr};
            // Not waited for: a call that waits for the core would change what is measured.
            mpv_command_async(mpvEngine->handle(), 0, args);
        };
        QObject::connect(player.application()->serviceClient()->manager(), &QNetworkAccessManager::finished, [&](QNetworkReply *reply) {
            if (!clicked)
                return;
            const QString query = reply->url().toString();
            const double at = clock.nsecsElapsed() / 1e6;
            if (query.contains(QLatin1String("cs0=lixian_qq")))
                stages.fileHash = at;
            else if (query.contains(QLatin1String("cs0=qqlixian_gethttp")))
                stages.fileInfo = at;
        });
        QObject::connect(engine, &PlayerEngine::stateChanged, [&](int, int state) {
            if (clicked && state == PlayerEngine::Opening && stages.openCalled < 0) {
                stages.openCalled = clock.nsecsElapsed() / 1e6;
                mark("open called");
            }
        });
        QObject::connect(engine, &PlayerEngine::openSucceeded, [&] {
            if (clicked && stages.opened < 0) {
                stages.opened = clock.nsecsElapsed() / 1e6;
                mark("opened");
            }
        });
        QObject::connect(video, &MpvVideoWidget::frameRendered, [&] {
            if (clicked && stages.frame < 0) {
                stages.frame = clock.nsecsElapsed() / 1e6;
                mark("frame");
            }
        });

        for (int i = 0; i < Runs + 1; ++i) {
            const QList<BTResourceParseResultListItemWidget *> rows = player.parse(magnet);
            if (rows.isEmpty()) {
                ++failures;
                continue;
            }
            BTResourceParseResultListItemWidget *row = rows.first();
            playedName = row->file().fileName;
            playedIndex = int(row->file().resourceIndex);
            stages = Stages();
            clicked = true;
            clock.start();
            mark("click");
            // Returns once the engine has opened the media; the frame may follow later.
            PlayerSession::playButton(row)->click();
            const bool ok = PlayerSession::waitFor([&] { return stages.frame >= 0; }, 20000);
            clicked = false;
            player.stop();
            PlayerSession::waitFor([] { return false; }, 100);
            if (!ok) {
                ++failures;
                continue;
            }
            if (i > 0)
                runs.push_back(stages);
        }
    }

    // The same file on the same host, as a bare mpv process sees it.
    const DemoService::Address address =
        service.address(DemoService::hashOf(magnet), playedIndex, service.videoHosts().value(0));
    std::vector<double> process;
    for (int i = 0; i < Runs + 1; ++i) {
        QProcess mpv;
        const qint64 start = monotonicNs();
        mpv.start(QStringLiteral("mpv"), {QStringLiteral("--no-config"), QStringLiteral("--vo=null"),
                                          QStringLiteral("--ao=null"), QStringLiteral("--frames=1"),
                                          QStringLiteral("--http-header-fields=Cookie: ") + address.cookie, address.play});
        const bool ok = mpv.waitForFinished(30000) && mpv.exitStatus() == QProcess::NormalExit && mpv.exitCode() == 0;
        const double ms = (monotonicNs() - start) / 1e6;
        if (mpv.state() != QProcess::NotRunning) {
            mpv.kill();
            mpv.waitForFinished(5000);
        }
        if (!ok)
            ++failures;
        else if (i > 0) // like the player's, the first run only warms caches
            process.push_back(ms);
    }
    service.stop();

    if (runs.empty() || process.empty()) {
        std::fprintf(stderr, "no complete run (failures: %d)\n", failures);
        return 1;
    }
    std::vector<double> hash, info, probe, open, render, total;
    for (const Stages &s : runs) {
        hash.push_back(s.fileHash);
        info.push_back(s.fileInfo - s.fileHash);
        probe.push_back(s.openCalled - s.fileInfo);
        open.push_back(s.opened - s.openCalled);
        render.push_back(s.frame - s.opened);
        total.push_back(s.frame);
    }
    const Figures player = Figures::of(total);
    const Figures baseline = Figures::of(process);
    std::printf("file: %s (1280x720 H.264/AAC demo clip), service and video hosts on 127.0.0.1; failures: %d\n",
                qPrintable(playedName), failures);
    std::printf("stages (each from the end of the one before):\n");
    printStage("click -> file hash reply (cs0=lixian_qq)", hash);
    printStage("-> file info reply (cs0=qqlixian_gethttp)", info);
    printStage("-> host probed, engine open called", probe);
    printStage("-> engine opened (openSucceeded)", open);
    printStage("-> first frame rendered", render);
    std::printf("click -> first rendered frame: %s\n", qPrintable(player.text("ms")));
    std::printf("baseline mpv --no-config --vo=null --ao=null --frames=1 process: %s\n", qPrintable(baseline.text("ms")));
    std::printf("ratio=%.3f (player median / mpv process median; goal <= %.2f)\n", player.median / baseline.median,
                BenchGoals::FirstFrameRatio);
    return 0;
}
