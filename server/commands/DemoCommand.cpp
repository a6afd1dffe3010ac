#include "server/commands/DemoCommand.h"

#include "app/Version.h"

#include "server/commands/CommandLine.h"
#include "server/commands/LibraryCommand.h"
#include "server/ServiceContext.h"
#include "server/fetch/TorrentBuilder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QTextCodec>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/wait.h>
#include <unistd.h>

namespace server {

namespace {
// Bump when the clips change, so that existing demo directories make them anew.
const char kClipVersion[] = "clips 2";

struct Clip {
    QString path;       // under the payload folder
    const char *video;  // lavfi source
    int tone;           // Hz
    int seconds;
    const char *size;
    bool tracks = false; // two audio tracks and a subtitle track (Matroska)
};

struct DemoResource {
    QString name;
    bool vipOnly;
};

QString u(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
}

QByteArray srtTime(int seconds)
{
    return QStringLiteral("%1:%2:%3,000")
        .arg(seconds / 3600, 2, 10, QLatin1Char('0'))
        .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'))
        .toLatin1();
}

bool runProgram(const std::vector<std::string> &argv)
{
    std::vector<char *> raw;
    for (const std::string &argument : argv)
        raw.push_back(const_cast<char *>(argument.c_str()));
    raw.push_back(nullptr);
    const pid_t child = ::fork();
    if (child < 0)
        return false;
    if (child == 0) {
        ::execvp(raw[0], raw.data());
        std::fprintf(stderr, "demo: cannot run %s\n", raw[0]);
        ::_exit(127);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// A moving test picture with a tone: H.264/AAC in MP4 with the index first, so that playback
// over HTTP starts at once. Bit-exact flags keep the bytes the same from run to run.
bool makeClip(const std::string &ffmpeg, const QString &path, const char *video, int tone, int seconds,
              const char *size = "1280x720")
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    const QString part = path + QStringLiteral(".part.mp4");
    const std::string duration = std::to_string(seconds);
    const std::vector<std::string> argv = {
        ffmpeg, "-hide_banner", "-loglevel", "error", "-nostdin", "-y",
        "-f", "lavfi", "-i", std::string(video) + (std::strchr(video, '=') ? ":" : "=") + "size=" + size + ":rate=25",
        "-f", "lavfi", "-i", "sine=frequency=" + std::to_string(tone) + ":sample_rate=48000:duration=" + duration,
        "-map", "0:v", "-map", "1:a", "-t", duration,
        "-c:v", "libx264", "-preset", "ultrafast", "-b:v", "800k", "-maxrate", "1200k", "-bufsize", "1600k",
        "-g", "50", "-pix_fmt", "yuv420p",
        "-c:a", "aac", "-b:a", "96k",
        "-movflags", "+faststart", "-map_metadata", "-1",
        "-fflags", "+bitexact", "-flags:v", "+bitexact", "-flags:a", "+bitexact",
        QFile::encodeName(part).toStdString()};
    if (!runProgram(argv)) {
        QFile::remove(part);
        return false;
    }
    QFile::remove(path);
    return QFile::rename(part, path);
}

// A film as torrents often carry one: two dubbed audio tracks (tagged with language and title)
// and an embedded subtitle track, in Matroska.
bool makeTracksClip(const std::string &ffmpeg, const QString &path, const char *video, int tone, int seconds,
                    const char *size)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    const QString part = path + QStringLiteral(".part.mkv");
    const QString subtitles = path + QStringLiteral(".part.srt");
    QByteArray srt;
    for (int start = 0, n = 1; start < seconds; start += 5, ++n) {
        srt += QByteArray::number(n) + "\n" + srtTime(start) + " --> " + srtTime(qMin(start + 4, seconds)) + "\n"
               + u("内嵌字幕 第%1句").arg(n).toUtf8() + "\n\n";
    }
    if (!writeFile(subtitles, srt))
        return false;
    const std::string duration = std::to_string(seconds);
    const auto sine = [&](int hz) {
        return "sine=frequency=" + std::to_string(hz) + ":sample_rate=48000:duration=" + duration;
    };
    const std::vector<std::string> argv = {
        ffmpeg, "-hide_banner", "-loglevel", "error", "-nostdin", "-y",
        "-f", "lavfi", "-i", std::string(video) + "=size=" + size + ":rate=25",
        "-f", "lavfi", "-i", sine(tone), "-f", "lavfi", "-i", sine(tone * 2),
        "-i", QFile::encodeName(subtitles).toStdString(),
        "-map", "0:v", "-map", "1:a", "-map", "2:a", "-map", "3:s", "-t", duration,
        "-c:v", "libx264", "-preset", "ultrafast", "-b:v", "400k", "-g", "50", "-pix_fmt", "yuv420p",
        "-c:a", "aac", "-b:a", "64k", "-c:s", "srt",
        "-map_metadata", "-1",
        "-metadata:s:a:0", "language=chi", "-metadata:s:a:0", u("title=国语").toStdString(),
        "-metadata:s:a:1", "language=eng", "-metadata:s:a:1", "title=English",
        "-metadata:s:s:0", "language=chi", "-metadata:s:s:0", u("title=中文字幕").toStdString(),
        "-disposition:a:0", "default", "-disposition:a:1", "0", "-disposition:s:0", "default",
        "-fflags", "+bitexact", "-flags:v", "+bitexact", "-flags:a", "+bitexact",
        QFile::encodeName(part).toStdString()};
    const bool made = runProgram(argv);
    QFile::remove(subtitles);
    if (!made) {
        QFile::remove(part);
        return false;
    }
    QFile::remove(path);
    return QFile::rename(part, path);
}

// Subtitle files beside the series' episodes as resources carry them: a Chinese one in GB18030 and
// an English one for the first episode, an ASS file in a subtitle folder for the second. Each has
// one line from the start to the end of the episode, so that it shows at any moment.
bool writeSeriesSubtitles(const QString &seriesDir, int seconds)
{
    const QByteArray span = srtTime(0) + " --> " + srtTime(seconds);
    QTextCodec *gb18030 = QTextCodec::codecForName("GB18030");
    if (!gb18030)
        return false;
    const QByteArray chinese = gb18030->fromUnicode(u("1\n") + QString::fromLatin1(span) + u("\n中文字幕测试\n\n"));
    const QByteArray english = "1\n" + span + "\nEnglish subtitle test\n\n";
    const QString end = QStringLiteral("%1:%2:%3.00")
                            .arg(seconds / 3600)
                            .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
                            .arg(seconds % 60, 2, 10, QLatin1Char('0'));
    const QByteArray ass = u("[Script Info]\nScriptType: v4.00+\nPlayResX: 640\nPlayResY: 360\n\n"
                             "[V4+ Styles]\nFormat: Name, Fontname, Fontsize, PrimaryColour, SecondaryColour, "
                             "OutlineColour, BackColour, Bold, Italic, Underline, StrikeOut, ScaleX, ScaleY, Spacing, "
                             "Angle, BorderStyle, Outline, Shadow, Alignment, MarginL, MarginR, MarginV, Encoding\n"
                             "Style: Default,Sans,28,&H00FFFFFF,&H000000FF,&H00000000,&H80000000,0,0,0,0,100,100,0,0,"
                             "1,2,1,2,20,20,20,1\n\n"
                             "[Events]\nFormat: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text\n"
                             "Dialogue: 0,0:00:00.00,%1,Default,,0,0,0,,第二集字幕\n")
                              .arg(end)
                              .toUtf8();
    QDir().mkpath(seriesDir + QStringLiteral("/Subs"));
    return writeFile(seriesDir + u("/演示剧 第1集.chs.srt"), chinese)
        && writeFile(seriesDir + u("/演示剧 第1集.eng.srt"), english)
        && writeFile(seriesDir + u("/Subs/演示剧 第2集.ass"), ass);
}

bool writeConfig(ServiceContext &context, const char *name, const QJsonDocument &document)
{
    std::string error;
    if (context.config().put(name, document.toJson(), &error))
        return true;
    std::fprintf(stderr, "demo: %s\n", error.c_str());
    return false;
}

bool setAccount(ServiceContext &context, const std::string &email, const std::string &password, bool permanentVip)
{
    AccountStore &accounts = context.accounts();
    std::optional<Account> account = accounts.findByEmail(email);
    if (!account) {
        int64_t id = 0;
        if (accounts.create(email, password, "0", ServiceContext::now(), &id) != AccountStore::CreateResult::Created)
            return false;
        account = accounts.findById(id);
    } else if (accounts.verify(account, password, ServiceContext::now()) != AccountStore::Match::Password
               && !accounts.setPassword(account->id, password)) {
        return false;
    }
    return account && accounts.setVip(account->id, permanentVip, permanentVip, 0);
}
} // namespace

int runDemoCommand(const std::vector<std::string> &arguments)
{
    std::string dataDir;
    std::string databaseUrl;
    std::string ffmpeg = "ffmpeg";
    // Where the announcements' links point: the service as serve runs it by default.
    std::string publicHost = "127.0.0.1:17080";
    int seconds = 30;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string &argument = arguments[i];
        const bool hasValue = i + 1 < arguments.size();
        if (argument == "--data" && hasValue) {
            dataDir = arguments[++i];
        } else if (argument == "--database" && hasValue && isPostgresUrl(arguments[i + 1])) {
            databaseUrl = arguments[++i];
        } else if (argument == "--ffmpeg" && hasValue) {
            ffmpeg = arguments[++i];
        } else if (argument == "--public-host" && hasValue) {
            publicHost = arguments[++i];
        } else if (argument == "--clip-seconds" && hasValue) {
            seconds = std::atoi(arguments[++i].c_str());
            if (seconds < 1 || seconds > 600) {
                std::fprintf(stderr, "demo: --clip-seconds takes 1 to 600\n");
                return 2;
            }
        } else {
            std::fprintf(stderr, "demo: bad argument %s\n%s", argument.c_str(), usageText().c_str());
            return 2;
        }
    }
    if (dataDir.empty()) {
        std::fprintf(stderr, "demo: --data DIR is required\n%s", usageText().c_str());
        return 2;
    }
    ServiceOptions options;
    options.dataDir = dataDir;
    options.databaseUrl = databaseUrl;
    ServiceContext context(options);
    std::string error;
    if (!context.open(&error)) {
        std::fprintf(stderr, "demo: %s\n", error.c_str());
        return 1;
    }

    const QString demoDir = QDir(QString::fromStdString(context.directory().root())).absoluteFilePath(QStringLiteral("demo"));
    const QString payloadDir = demoDir + QStringLiteral("/payload");
    const DemoResource collection{u("Pelorin 演示合集"), false};
    const DemoResource vipOnly{u("Pelorin VIP 演示.mp4"), true};
    // A short series whose names sort wrongly as plain text ("第10集" before "第2集"), and a film
    // with two audio tracks and a subtitle track, long enough to be left and resumed.
    const DemoResource series{u("Pelorin 演示剧集"), false};
    const DemoResource film{u("Pelorin 双音轨字幕演示.mkv"), false};
    const int episodeSeconds = qMin(seconds, 10);
    const int filmSeconds = qBound(45, seconds * 3, 180);
    const Clip clips[] = {
        {collection.name + u("/01 彩色 测试图 与 音调.mp4"), "testsrc2", 440, seconds, "1280x720"},
        {collection.name + u("/extras/02-counter.mp4"), "testsrc", 660, seconds, "1280x720"},
        {vipOnly.name, "life=mold=10:ratio=0.1:death_color=#1f3b73:life_color=#ffd23f", 550, seconds, "1280x720"},
        {series.name + u("/演示剧 第1集.mp4"), "testsrc2", 330, episodeSeconds, "640x360"},
        {series.name + u("/演示剧 第2集.mp4"), "smptebars", 392, episodeSeconds, "640x360"},
        {series.name + u("/演示剧 第10集.mp4"), "rgbtestsrc", 494, episodeSeconds, "640x360"},
        {film.name, "testsrc2", 440, filmSeconds, "640x360", true},
    };
    // The clips are made once per length; a second run reuses them, so the torrents and
    // info-hashes stay the same.
    const QString stampPath = demoDir + QStringLiteral("/clips.stamp");
    const QByteArray stamp = QByteArray(kClipVersion) + " seconds=" + QByteArray::number(seconds) + "\n";
    QFile stampFile(stampPath);
    bool reuse = stampFile.open(QIODevice::ReadOnly) && stampFile.readAll() == stamp;
    stampFile.close();
    for (const Clip &clip : clips)
        reuse = reuse && QFileInfo(payloadDir + QLatin1Char('/') + clip.path).size() > 0;
    if (!reuse) {
        QDir(payloadDir).removeRecursively();
        QFile::remove(stampPath);
        for (const Clip &clip : clips) {
            std::fprintf(stderr, "demo: making %s (%d s)\n", clip.path.toUtf8().constData(), clip.seconds);
            const QString path = payloadDir + QLatin1Char('/') + clip.path;
            if (!(clip.tracks ? makeTracksClip(ffmpeg, path, clip.video, clip.tone, clip.seconds, clip.size)
                              : makeClip(ffmpeg, path, clip.video, clip.tone, clip.seconds, clip.size))) {
                std::fprintf(stderr, "demo: ffmpeg failed (is the Debian package ffmpeg installed?)\n");
                return 1;
            }
        }
        if (!writeFile(stampPath, stamp)) {
            std::fprintf(stderr, "demo: cannot write %s\n", stampPath.toUtf8().constData());
            return 1;
        }
    }
    const QString notePath = payloadDir + QLatin1Char('/') + collection.name + u("/说明.txt");
    if (!writeFile(notePath, u("这是演示资源的说明文件，不是视频，不会出现在文件列表中。\n").toUtf8())) {
        std::fprintf(stderr, "demo: cannot write %s\n", notePath.toUtf8().constData());
        return 1;
    }

    if (!writeSeriesSubtitles(payloadDir + QLatin1Char('/') + series.name, episodeSeconds)) {
        std::fprintf(stderr, "demo: cannot write the series' subtitle files\n");
        return 1;
    }

    std::vector<LibraryResource> added;
    for (const DemoResource &demo : {collection, vipOnly, series, film}) {
        QString problem;
        const QByteArray torrent = TorrentBuilder::build(payloadDir + QLatin1Char('/') + demo.name,
                                                         TorrentBuilder::defaultPieceLength, HashProgress(), &problem);
        const QString torrentPath = demoDir + QLatin1Char('/') + QFileInfo(demo.name).completeBaseName()
                                    + QStringLiteral(".torrent");
        if (torrent.isEmpty() || !writeFile(torrentPath, torrent)) {
            std::fprintf(stderr, "demo: cannot make %s: %s\n", torrentPath.toUtf8().constData(),
                         problem.toUtf8().constData());
            return 1;
        }
        LibraryResource resource;
        if (!addTorrentToLibrary(context, QFile::encodeName(torrentPath).toStdString(),
                                 QFile::encodeName(payloadDir).toStdString(), demo.vipOnly, "demo", &resource, &error)) {
            std::fprintf(stderr, "demo: %s\n", error.c_str());
            return 1;
        }
        added.push_back(resource);
    }
    // Demo resources of earlier runs (other clip lengths) go, so one demo library remains.
    for (const LibraryResource &resource : context.library().resources()) {
        bool current = false;
        for (const LibraryResource &fresh : added)
            current = current || fresh.hash == resource.hash;
        if (resource.origin == "demo" && !current)
            context.library().remove(resource.hash);
    }

    if (!setAccount(context, "demo@pelorin.test", "demo1234", true)
        || !setAccount(context, "free@pelorin.test", "free1234", false)) {
        std::fprintf(stderr, "demo: cannot store the demo accounts\n");
        return 1;
    }

    QJsonArray announcements;
    QJsonObject welcome;
    welcome.insert(QStringLiteral("title"), u("欢迎使用Pelorin演示服务：粘贴磁力链接即可播放"));
    const QString site = QStringLiteral("http://%1/server/").arg(QString::fromStdString(publicHost));
    welcome.insert(QStringLiteral("url"), site + QStringLiteral("?r=www"));
    announcements.append(welcome);
    QJsonObject accountsNote;
    accountsNote.insert(QStringLiteral("title"), u("演示账号 demo@pelorin.test 密码 demo1234（永久VIP）"));
    accountsNote.insert(QStringLiteral("url"), site + QStringLiteral("?r=www/user/login"));
    announcements.append(accountsNote);
    QJsonObject popup;
    popup.insert(QStringLiteral("enable"), false);
    popup.insert(QStringLiteral("items"), QJsonArray());
    QJsonObject update;
    update.insert(QStringLiteral("version"), QStringLiteral(PELORIN_VERSION));
    update.insert(QStringLiteral("desc"), QString());
    update.insert(QStringLiteral("path"), QString());
    if (!context.config().writeDefaults(PELORIN_VERSION, &error)
        || !writeConfig(context, ConfigItems::kAnnouncements, QJsonDocument(announcements))
        || !writeConfig(context, ConfigItems::kPopup, QJsonDocument(popup))
        || !writeConfig(context, ConfigItems::kUpdate, QJsonDocument(update))) {
        std::fprintf(stderr, "demo: cannot write the configuration items\n");
        return 1;
    }

    std::printf("demo library ready in %s\n", context.directory().root().c_str());
    for (const LibraryResource &resource : added) {
        std::printf("%s%s\n%s\n", resource.name.c_str(), resource.vipOnly ? " (VIP only)" : "",
                    TorrentBuilder::magnetLink(QString::fromStdString(resource.hash), QString::fromStdString(resource.name))
                        .toUtf8()
                        .constData());
    }
    std::printf("accounts: demo@pelorin.test / demo1234 (permanent VIP), free@pelorin.test / free1234 (no VIP)\n"
                "torrent files: %s/\n"
                "next: pelorin-service serve --data %s\n",
                demoDir.toUtf8().constData(), dataDir.c_str());
    return 0;
}

} // namespace server
