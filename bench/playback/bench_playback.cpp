// Playback itself, frame for frame: a 1080p60 H.264 clip and a 2160p30 HEVC clip (20 s each, made
// once with ffmpeg and kept beside the executable in clips/) played to their end over a video host
// of the reference service on 127.0.0.1, full screen under a window manager of the benchmark's own
// (openbox), by the real player (a fresh process: main window, log-in, parse, play, F) and by
// `mpv --vo=gpu` and `mpv --vo=x11` on the same address and display, one after the other.
// Each reports frames shown, frames dropped or delayed (the engine's counters frame-drop-count,
// decoder-frame-drop-count and vo-delayed-frame-count; for the player also the frames the video
// widget showed), CPU seconds of the whole process per film-second, and its peak resident memory.
//
// --soak plays a 10-minute 720p clip at 4x speed (40 minutes of film) in the player and reports
// its resident memory every minute, against the level of the first two minutes.
// Needs an X display with OpenGL of 1920x1080 (tools/bench starts one). BENCH_MPV_OPTIONS="k=v;k=v"
// sets engine options in the player on top of its own, to compare.

#include "BenchFigures.h"
#include "BenchGoals.h"
#include "DemoService.h"
#include "PlayerSession.h"

#include "player/mpv/MpvAccess.h"
#include "player/mpv/MpvNames.h"
#include "player/mpv/MpvPlayerEngine.h"
#include "player/ui/MpvVideoWidget.h"
#include "resources/ui/BTResourceParseResultListItemWidget.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

const char BenchUser[] = "bench@pelorin.test";
const char BenchPassword[] = "bench1234";

struct Clip
{
    const char *file;
    const char *label;
    int fps;
    int seconds;
    const char *source; // lavfi picture source, its duration added
    const char *filter; // after it, or empty
    const char *codec;  // ffmpeg video options
};

// Noise keeps the encoders from squeezing the synthetic picture below an honest bit rate.
const Clip clip1080{"1080p60-h264.mp4", "1920x1080 60 fps H.264 8 Mb/s", 60, 20,
                    "testsrc2=size=1920x1080:rate=60", ",noise=alls=12:allf=t",
                    "-c:v libx264 -preset veryfast -b:v 8M -maxrate 10M -bufsize 16M -g 120"};
const Clip clip2160{"2160p30-hevc.mp4", "3840x2160 30 fps HEVC 20 Mb/s", 30, 20,
                    "testsrc2=size=3840x2160:rate=30", ",noise=alls=12:allf=t",
                    "-c:v libx265 -preset ultrafast -b:v 20M -tag:v hvc1 -x265-params log-level=error"};
const Clip clipSoak{"soak-720p30-h264.mp4", "1280x720 30 fps H.264 3 Mb/s, 10 minutes", 30, 600,
                    "testsrc2=size=1280x720:rate=30", "", "-c:v libx264 -preset ultrafast -b:v 3M -g 60"};

constexpr double SoakSpeed = 4.0;
// The soak clip played this many times in a row (loop-file).
constexpr int SoakPasses = 4;

QString clipPath(const Clip &clip)
{
    const QString dir = qEnvironmentVariableIsSet("PELORIN_BENCH_CLIPS")
        ? qEnvironmentVariable("PELORIN_BENCH_CLIPS")
        : QCoreApplication::applicationDirPath() + QStringLiteral("/clips");
    return dir + QLatin1Char('/') + QLatin1String(clip.file);
}

bool ensureClip(const Clip &clip)
{
    const QString path = clipPath(clip);
    if (QFileInfo(path).size() > 0)
        return true;
    QDir().mkpath(QFileInfo(path).absolutePath());
    std::printf("making %s (%s) with ffmpeg\n", clip.file, clip.label);
    std::fflush(stdout);
    const QString partial = path + QStringLiteral(".part.mp4");
    QStringList arguments = {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-y"),
                             QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                             QStringLiteral("%1:duration=%2%3").arg(QLatin1String(clip.source)).arg(clip.seconds).arg(QLatin1String(clip.filter)),
                             QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                             QStringLiteral("sine=frequency=440:duration=%1").arg(clip.seconds)};
    arguments << QString::fromLatin1(clip.codec).split(QLatin1Char(' '));
    arguments << QStringLiteral("-pix_fmt") << QStringLiteral("yuv420p") << QStringLiteral("-c:a")
              << QStringLiteral("aac") << QStringLiteral("-movflags") << QStringLiteral("+faststart")
              << QStringLiteral("-shortest") << partial;
    QProcess ffmpeg;
    ffmpeg.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    ffmpeg.start(QStringLiteral("ffmpeg"), arguments);
    const bool ok = ffmpeg.waitForFinished(-1) && ffmpeg.exitStatus() == QProcess::NormalExit && ffmpeg.exitCode() == 0;
    return ok && QFile::rename(partial, path);
}

double cpuSecondsOfSelf()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double cpuSecondsOf(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    // Fields after the command's closing parenthesis; utime and stime are the 12th and 13th.
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return -1;
    return (fields[11].toDouble() + fields[12].toDouble()) / double(sysconf(_SC_CLK_TCK));
}

// The player process: logs in, plays the magnet link's first file full screen (or, for the soak,
// in its window at SoakSpeed) to its end and prints its counters.
int playerMain(const QString &host, const QString &magnet, bool soak)
{
    PlayerSession::prepareApplication();
    PlayerSession player(host);
    auto *engine = qobject_cast<MpvPlayerEngine *>(player.engine());
    MpvVideoWidget *video = player.video();
    if (!engine || !video || !player.login(QString::fromLatin1(BenchUser), QString::fromLatin1(BenchPassword))) {
        std::fprintf(stderr, "the player did not start with video output or could not log in\n");
        return 1;
    }
    // No sound, as for mpv; engine options to try against the player's own set-up:
    // BENCH_MPV_OPTIONS="k=v;k=v".
    MpvAccess(engine->handle()).setString(MpvProperty::Ao, QStringLiteral("null"));
    const QStringList extra = qEnvironmentVariable("BENCH_MPV_OPTIONS").split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (const QString &option : extra) {
        if (!MpvAccess(engine->handle()).setString(option.section(QLatin1Char('='), 0, 0).toUtf8().constData(),
                                                   option.section(QLatin1Char('='), 1)))
            std::fprintf(stderr, "option refused: %s\n", qPrintable(option));
    }
    const QList<BTResourceParseResultListItemWidget *> rows = player.parse(magnet);
    if (rows.isEmpty())
        return 1;
    if (!soak) {
        // As a user does: F on the window.
        QKeyEvent press(QEvent::KeyPress, Qt::Key_F, Qt::NoModifier, QStringLiteral("f"));
        QCoreApplication::sendEvent(player.window(), &press);
        PlayerSession::waitFor([&] { return video->width() == video->screen()->size().width(); }, 5000);
    }
    PlayerSession::playButton(rows.first())->click();
    if (soak) {
        engine->setSpeed(SoakSpeed);
        MpvAccess(engine->handle()).setInt("loop-file", SoakPasses - 1);
    }

    // The counters belong to the open film: read while it plays, the last reading counts.
    MpvAccess mpv(engine->handle());
    qint64 dropped = 0, decoderDropped = 0, delayed = 0;
    int position = 0;
    QElapsedTimer clock;
    clock.start();
    qint64 nextSample = 60000;
    const int limitMs = soak ? 20 * 60000 : 120000;
    PlayerSession::waitFor(
        [&] {
            if (engine->state() == PlayerEngine::Playing || engine->state() == PlayerEngine::Starting) {
                dropped = mpv.integer("frame-drop-count");
                decoderDropped = mpv.integer("decoder-frame-drop-count");
                delayed = mpv.integer("vo-delayed-frame-count");
                position = qMax(position, engine->position());
            }
            if (soak && clock.elapsed() >= nextSample) {
                std::printf("sample minute=%lld rss=%lld film=%lld\n", nextSample / 60000,
                            residentKiB(QCoreApplication::applicationPid()), qint64(clock.elapsed() * SoakSpeed));
                std::fflush(stdout);
                nextSample += 60000;
            }
            return engine->state() == PlayerEngine::Ready && position > 0;
        },
        limitMs);
    std::printf("result shown=%llu drawn=%llu vo_dropped=%lld decoder_dropped=%lld delayed=%lld cpu=%.3f peak=%lld position=%d "
                "path=%s\n",
                static_cast<unsigned long long>(video->shownFrames()),
                static_cast<unsigned long long>(video->drawnFrames()), dropped, decoderDropped, delayed,
                cpuSecondsOfSelf(), peakResidentKiB(QCoreApplication::applicationPid()), position,
                MpvVideoPath::name(video->path()));
    std::fflush(stdout);
    return 0;
}

struct Result
{
    bool ok = false;
    double shown = 0;
    qint64 drawn = -1; // the player's: frames its drawing thread drew
    qint64 voDropped = 0;
    qint64 decoderDropped = 0;
    qint64 delayed = 0;
    double cpu = 0;
    double peakMiB = 0;
    double filmSeconds = 0;
    QString path;
};

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

qint64 field(const QString &line, const char *name)
{
    return QRegularExpression(QStringLiteral("\\b%1=(\\d+)").arg(QLatin1String(name))).match(line).captured(1).toLongLong();
}

// Waits for the process's "result" line; soak samples are printed as they come.
QString resultLine(QProcess &process, int timeoutMs, std::vector<double> *samples = nullptr)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < timeoutMs) {
        while (process.canReadLine()) {
            const QString line = QString::fromUtf8(process.readLine()).trimmed();
            if (line.startsWith(QLatin1String("result ")))
                return line;
            if (samples && line.startsWith(QLatin1String("sample "))) {
                samples->push_back(field(line, "rss") / 1024.0);
                std::printf("  minute %2lld: resident %.1f MiB (about %.0f minutes of film)\n", field(line, "minute"),
                            samples->back(), field(line, "film") / 60000.0);
                std::fflush(stdout);
            }
        }
        if (process.state() == QProcess::NotRunning)
            return {};
        process.waitForReadyRead(200);
    }
    return {};
}

Result playInPlayer(const DemoService &service, const QString &magnet, const Clip &clip, bool soak,
                    std::vector<double> *samples = nullptr)
{
    QProcess player;
    player.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    player.start(QCoreApplication::applicationFilePath(),
                 {soak ? QStringLiteral("--soak-player") : QStringLiteral("--player"), service.hostPort(), magnet});
    const int filmSeconds = soak ? int(clip.seconds * SoakPasses / SoakSpeed) : clip.seconds;
    const QString line = resultLine(player, (filmSeconds + 120) * 1000, samples);
    player.waitForFinished(30000);
    stopProcess(player);
    Result result;
    result.ok = !line.isEmpty();
    result.shown = double(field(line, "shown"));
    result.drawn = field(line, "drawn");
    result.voDropped = field(line, "vo_dropped");
    result.decoderDropped = field(line, "decoder_dropped");
    result.delayed = field(line, "delayed");
    result.cpu = QRegularExpression(QStringLiteral("cpu=([0-9.]+)")).match(line).captured(1).toDouble();
    result.peakMiB = field(line, "peak") / 1024.0;
    result.filmSeconds = field(line, "position") / 1000.0;
    result.path = QRegularExpression(QStringLiteral("path=(\\w+)")).match(line).captured(1);
    if (!result.ok)
        std::fprintf(stderr, "player run failed\n");
    return result;
}

// Prints the counters when the film has reached its end and keeps the last frame up meanwhile.
const char counterScript[] = R"(
mp.observe_property("eof-reached", "bool", function(_, ended)
    if ended then
        io.stdout:write(string.format("result vo_dropped=%d decoder_dropped=%d delayed=%d position=%d\n",
            mp.get_property_number("frame-drop-count", 0), mp.get_property_number("decoder-frame-drop-count", 0),
            mp.get_property_number("vo-delayed-frame-count", 0), math.floor(mp.get_property_number("time-pos", 0) * 1000)))
        io.stdout:flush()
    end
end)
)";

Result playInMpv(const QStringList &output, const DemoService::Address &address, const Clip &clip,
                 const QString &script)
{
    QProcess mpv;
    mpv.setProcessChannelMode(QProcess::SeparateChannels);
    mpv.start(QStringLiteral("mpv"),
              QStringList{QStringLiteral("--no-config"), QStringLiteral("--ao=null"), QStringLiteral("--fs"),
                          QStringLiteral("--keep-open=yes"), QStringLiteral("--script=") + script,
                          QStringLiteral("--http-header-fields=Cookie: ") + address.cookie}
                  + output + QStringList{address.play});
    mpv.waitForStarted(10000);
    qint64 peak = 0;
    QString line;
    QElapsedTimer clock;
    clock.start();
    while (line.isEmpty() && mpv.state() != QProcess::NotRunning && clock.elapsed() < (clip.seconds + 120) * 1000) {
        peak = qMax(peak, peakResidentKiB(mpv.processId()));
        mpv.waitForReadyRead(100);
        while (mpv.canReadLine()) {
            const QString read = QString::fromUtf8(mpv.readLine()).trimmed();
            if (read.startsWith(QLatin1String("result ")))
                line = read;
        }
    }
    Result result;
    result.ok = !line.isEmpty();
    result.cpu = cpuSecondsOf(mpv.processId());
    result.peakMiB = qMax(peak, peakResidentKiB(mpv.processId())) / 1024.0;
    stopProcess(mpv);
    if (!result.ok) {
        std::fprintf(stderr, "mpv %s failed: %s\n", qPrintable(output.join(QLatin1Char(' '))),
                     mpv.readAllStandardError().right(2000).constData());
        return result;
    }
    result.voDropped = field(line, "vo_dropped");
    result.decoderDropped = field(line, "decoder_dropped");
    result.delayed = field(line, "delayed");
    result.filmSeconds = field(line, "position") / 1000.0;
    result.shown = double(clip.fps * clip.seconds - result.voDropped - result.decoderDropped);
    return result;
}

void printResult(const char *who, const Result &r, const Clip &clip)
{
    const double frames = clip.fps * clip.seconds;
    const double film = r.filmSeconds > 0 ? r.filmSeconds : clip.seconds;
    std::printf("  %-28s shown %4.0f of %.0f (%5.1f %%), dropped %lld + %lld by the decoder, delayed %lld, "
                "%.2f CPU-s per film-second, peak %.1f MiB\n",
                who, r.shown, frames, 100.0 * r.shown / frames, r.voDropped, r.decoderDropped, r.delayed,
                r.cpu / film, r.peakMiB);
    if (r.drawn >= 0)
        std::printf("  %-28s video path %s, %lld frames drawn by its drawing thread\n", "", qPrintable(r.path), r.drawn);
}

// A window manager of the benchmark's own, so that "full screen" means the same to all; none when
// the display has one already (openbox then ends by itself).
class WindowManager
{
public:
    WindowManager()
    {
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")});
        m_process.waitForStarted(5000);
        m_process.waitForFinished(1000);
    }
    ~WindowManager() { stopProcess(m_process); }

private:
    QProcess m_process;
};

bool measureClip(DemoService &service, const QString &magnet, const Clip &clip, const QString &script)
{
    const DemoService::Address address = service.address(DemoService::hashOf(magnet), 0, service.videoHosts().value(0));
    std::printf("== %s (%s), full screen\n", clip.file, clip.label);
    std::fflush(stdout);
    const Result player = playInPlayer(service, magnet, clip, false);
    const Result gpu = playInMpv({QStringLiteral("--vo=gpu"), QStringLiteral("--gpu-context=x11egl")}, address, clip, script);
    const Result x11 = playInMpv({QStringLiteral("--vo=x11")}, address, clip, script);
    if (!player.ok || !gpu.ok || !x11.ok)
        return false;
    printResult("player", player, clip);
    printResult("mpv --vo=gpu", gpu, clip);
    printResult("mpv --vo=x11", x11, clip);
    const double frames = clip.fps * clip.seconds;
    const double perSecond = player.cpu / (player.filmSeconds > 0 ? player.filmSeconds : clip.seconds);
    const double x11PerSecond = x11.cpu / (x11.filmSeconds > 0 ? x11.filmSeconds : clip.seconds);
    if (clip.fps == 60) {
        std::printf("ratio=%.3f (frames shown by the player / frames of the clip; goal >= %.2f)\n",
                    player.shown / frames, BenchGoals::Playback1080ShownShare);
        std::printf("ratio=%.3f (player CPU-s per film-second / mpv --vo=x11's; goal <= %.2f)\n",
                    perSecond / x11PerSecond, BenchGoals::PlaybackCpuRatio);
    } else {
        std::printf("ratio=%.3f (frames shown by the player / by the better mpv output; goal >= %.2f)\n",
                    player.shown / std::max(gpu.shown, x11.shown), BenchGoals::Playback2160ShownRatio);
        std::printf("CPU: player / mpv --vo=x11 per film-second: %.3f\n", perSecond / x11PerSecond);
    }
    std::printf("memory: player %.1f MiB, %+.1f MiB against mpv --vo=gpu (goal <= %+.0f MiB)\n", player.peakMiB,
                player.peakMiB - gpu.peakMiB, BenchGoals::PlaybackMemoryOverGpuMiB);
    std::fflush(stdout);
    return true;
}

bool soak(DemoService &service, const QString &magnet)
{
    std::printf("== soak: %s, played %d times over at %.0fx speed (%.0f minutes of film in %.0f), resident memory "
                "every minute\n",
                clipSoak.label, SoakPasses, SoakSpeed, SoakPasses * clipSoak.seconds / 60.0,
                SoakPasses * clipSoak.seconds / SoakSpeed / 60.0);
    std::fflush(stdout);
    std::vector<double> samples;
    const Result r = playInPlayer(service, magnet, clipSoak, true, &samples);
    if (!r.ok || samples.size() < 3)
        return false;
    const double early = *std::max_element(samples.begin(), samples.begin() + 2);
    const double later = *std::max_element(samples.begin() + 2, samples.end());
    std::printf("  peak %.1f MiB, %.2f CPU-s per film-second, shown %.0f frames, dropped %lld\n", r.peakMiB,
                r.cpu / (SoakPasses * clipSoak.seconds), r.shown, r.voDropped + r.decoderDropped);
    std::printf("growth after the first two minutes: %+.1f MiB (highest later %.1f, first two minutes %.1f; goal <= "
                "%.0f MiB)\nratio=%.3f (highest later / first two minutes)\n",
                later - early, later, early, BenchGoals::SoakGrowthMiB, later / early);
    return later - early <= BenchGoals::SoakGrowthMiB;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc == 4 && (qstrcmp(argv[1], "--player") == 0 || qstrcmp(argv[1], "--soak-player") == 0)) {
        QApplication app(argc, argv);
        return playerMain(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]),
                          qstrcmp(argv[1], "--soak-player") == 0);
    }
    QApplication app(argc, argv);
    if (QGuiApplication::platformName() != QLatin1String("xcb")) {
        std::fprintf(stderr, "bench_playback needs an X display with OpenGL (tools/on-x-server)\n");
        return 2;
    }
    const bool soakOnly = app.arguments().contains(QStringLiteral("--soak"));
    const QSize screen = QGuiApplication::primaryScreen()->size();
    const std::vector<const Clip *> clips = soakOnly ? std::vector<const Clip *>{&clipSoak}
                                                     : std::vector<const Clip *>{&clip1080, &clip2160};
    for (const Clip *clip : clips) {
        if (!ensureClip(*clip)) {
            std::fprintf(stderr, "could not make %s with ffmpeg\n", clip->file);
            return 1;
        }
    }
    DemoService service;
    std::vector<QString> magnets;
    for (const Clip *clip : clips)
        magnets.push_back(service.addFile(clipPath(*clip)));
    if (std::count(magnets.begin(), magnets.end(), QString()) > 0
        || !service.addUser(QString::fromLatin1(BenchUser), QString::fromLatin1(BenchPassword)) || !service.start()) {
        std::fprintf(stderr, "could not set up the reference service with the clips\n");
        return 1;
    }
    const QString script = service.scratchDir() + QStringLiteral("/counters.lua");
    QFile scriptFile(script);
    if (!scriptFile.open(QIODevice::WriteOnly) || scriptFile.write(counterScript) < 0)
        return 1;
    scriptFile.close();

    WindowManager windowManager;
    std::printf("bench_playback: screen %dx%d, clips over a video host on 127.0.0.1, audio off for all\n",
                screen.width(), screen.height());
    bool ok = true;
    if (soakOnly)
        ok = soak(service, magnets[0]);
    else {
        for (size_t i = 0; i < clips.size(); ++i)
            ok = measureClip(service, magnets[i], *clips[i], script) && ok;
    }
    service.stop();
    return ok ? 0 : 1;
}
