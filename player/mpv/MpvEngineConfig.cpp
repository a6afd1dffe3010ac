#include "player/mpv/MpvEngineConfig.h"

#include "player/mpv/MpvNames.h"
#include "player/PlayerEngine.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

#include <cmath>

namespace {

constexpr char ChannelFilterLabel[] = "@pelorinchannel";
constexpr char PictureFilterLabel[] = "@pelorinpicture";
constexpr double FontSizePerStep = 2.75;
constexpr int PlacementCentre = 50;
constexpr int PlacementBaseMargin = 150;
constexpr int PlacementStepPixels = 6;
constexpr int SubMarginXMax = 300;
constexpr int SubPosMax = 150;

qint64 clampedNumber(const QString &text, qint64 low, qint64 high, bool *ok)
{
    const qint64 value = text.trimmed().toLongLong(ok);
    if (!*ok) {
        // Values past 64 bits (an unsigned wrap below zero, for instance) still count as "high".
        const quint64 big = text.trimmed().toULongLong(ok);
        return *ok && big > 0 ? high : low;
    }
    return qBound(low, value, high);
}

QString boolText(bool value)
{
    return value ? QStringLiteral("1") : QStringLiteral("0");
}

} // namespace

QString MpvEngineConfig::defaultSubtitlePlacement()
{
    return QStringLiteral("1;50;100");
}

QString MpvEngineConfig::defaultSubtitleFont()
{
    return QStringLiteral("sans-serif;20;0;0");
}

bool MpvEngineConfig::set(int id, const QString &value)
{
    bool applied = false;
    switch (id) {
    case PlayerEngine::RenderMode: applied = setRenderMode(value); break;
    case PlayerEngine::VideoAspect: applied = setAspect(value); break;
    case PlayerEngine::Brightness: applied = setColour(MpvProperty::Brightness, value); break;
    case PlayerEngine::Contrast: applied = setColour(MpvProperty::Contrast, value); break;
    case PlayerEngine::Saturation: applied = setColour(MpvProperty::Saturation, value); break;
    case PlayerEngine::Hue: applied = setColour(MpvProperty::Hue, value); break;
    case PlayerEngine::PictureEnhancement: applied = setEnhancement(value); break;
    case PlayerEngine::AudioChannel: applied = setAudioChannel(value); break;
    case PlayerEngine::SubtitleFile: applied = setSubtitleFile(value); break;
    case PlayerEngine::SubtitleVisible:
        applied = m_mpv.setFlag(MpvProperty::SubVisibility, value.trimmed() != QLatin1String("0"));
        break;
    case PlayerEngine::SubtitlePlacement: applied = setSubtitlePlacement(value); break;
    case PlayerEngine::SubtitleFont: applied = setSubtitleFont(value); break;
    case PlayerEngine::SubtitleDelay: applied = setSubtitleDelay(value); break;
    case PlayerEngine::HttpCookie: applied = setCookie(value); break;
    case PlayerEngine::CacheFilePath: applied = setCacheFile(value); break;
    case PlayerEngine::CacheEnabled: applied = setCacheEnabled(value); break;
    case PlayerEngine::HardwareDecoding: {
        const bool on = value.trimmed() != QLatin1String("0");
        m_lastSet.insert(id, boolText(on));
        applied = m_mpv.setString(MpvProperty::Hwdec, QString::fromLatin1(hardwareDecoderSetting(on)));
        break;
    }
    default: break; // read-only or unknown ids change nothing
    }
    return applied;
}

QString MpvEngineConfig::get(int id) const
{
    switch (id) {
    case PlayerEngine::VideoWindowId: return QString::number(m_windowId);
    case PlayerEngine::VideoOwnAspect: return ownAspect();
    case PlayerEngine::Brightness: return colour(MpvProperty::Brightness);
    case PlayerEngine::Contrast: return colour(MpvProperty::Contrast);
    case PlayerEngine::Saturation: return colour(MpvProperty::Saturation);
    case PlayerEngine::Hue: return colour(MpvProperty::Hue);
    case PlayerEngine::PictureEnhancement: return boolText(m_mpv.flag(MpvProperty::Deband));
    case PlayerEngine::SubtitleFile: return m_mpv.string(MpvProperty::SubExternalFilename);
    case PlayerEngine::SubtitleVisible: return boolText(m_mpv.flag(MpvProperty::SubVisibility, true));
    case PlayerEngine::SubtitleText: return m_mpv.string(MpvProperty::SubText);
    case PlayerEngine::SubtitlePlacement: return m_lastSet.value(id, defaultSubtitlePlacement());
    case PlayerEngine::SubtitleFont: return m_lastSet.value(id, defaultSubtitleFont());
    case PlayerEngine::SubtitleDelay: {
        const double seconds = m_mpv.number(MpvProperty::SubDelay);
        return QStringLiteral("%1;1000;1000").arg(qRound64(seconds * 1000.0));
    }
    case PlayerEngine::RenderMode: return m_lastSet.value(id, QStringLiteral("2"));
    case PlayerEngine::AudioChannel: return m_lastSet.value(id, QStringLiteral("0"));
    case PlayerEngine::CacheEnabled: return m_lastSet.value(id, QStringLiteral("0"));
    case PlayerEngine::HardwareDecoding: return m_lastSet.value(id, boolText(true));
    default: return m_lastSet.value(id);
    }
}

bool MpvEngineConfig::setRenderMode(const QString &value)
{
    struct Preset
    {
        const char *scale, *cscale, *dscale;
        bool correctDownscaling, sigmoid;
    };
    static const Preset presets[] = {
        {"bilinear", "bilinear", "bilinear", false, false},
        {"bilinear", "bilinear", "", false, false},
        {"spline36", "spline36", "mitchell", true, false},
        {"ewa_lanczos", "spline36", "mitchell", true, true},
        {"ewa_lanczossharp", "ewa_lanczossharp", "mitchell", true, true},
    };
    bool ok = false;
    const int mode = value.trimmed().toInt(&ok);
    if (!ok || mode < 1 || mode > 5)
        return false;
    const Preset &p = presets[mode - 1];
    bool applied = m_mpv.setString(MpvProperty::Scale, QString::fromLatin1(p.scale));
    applied &= m_mpv.setString(MpvProperty::ChromaScale, QString::fromLatin1(p.cscale));
    applied &= m_mpv.setString(MpvProperty::DownScale, QString::fromLatin1(p.dscale));
    applied &= m_mpv.setFlag(MpvProperty::CorrectDownscaling, p.correctDownscaling);
    applied &= m_mpv.setFlag(MpvProperty::SigmoidUpscaling, p.sigmoid);
    m_lastSet.insert(PlayerEngine::RenderMode, QString::number(mode));
    return applied;
}

QString MpvEngineConfig::ownAspect() const
{
    bool ok = false;
    double aspect = m_mpv.number(MpvProperty::VideoDecAspect, 0.0, &ok);
    if (!ok || aspect <= 0) {
        // Before the first decoded frame only the container's size is known.
        const qint64 w = m_mpv.integer(MpvProperty::VideoTrackDemuxWidth);
        const qint64 h = m_mpv.integer(MpvProperty::VideoTrackDemuxHeight);
        const double par = m_mpv.number(MpvProperty::VideoTrackDemuxPar, 1.0);
        if (w <= 0 || h <= 0)
            return QString();
        aspect = double(w) / double(h) * (par > 0 ? par : 1.0);
    }
    return QString::number(aspect, 'f', 6);
}

bool MpvEngineConfig::setAspect(const QString &value)
{
    QString text = value.trimmed();
    text.replace(QLatin1Char(';'), QLatin1Char(':'));
    if (text.isEmpty())
        text = QStringLiteral("-1");
    const bool applied = m_mpv.setString(MpvProperty::VideoAspectOverride, text);
    if (applied)
        m_lastSet.insert(PlayerEngine::VideoAspect, value);
    return applied;
}

bool MpvEngineConfig::setColour(const char *property, const QString &value)
{
    bool ok = false;
    const qint64 v = clampedNumber(value, 0, 100, &ok);
    if (!ok)
        return false;
    const bool applied = m_mpv.setInt(property, (v - 50) * 2);
    updatePictureFilter();
    return applied;
}

QString MpvEngineConfig::colour(const char *property) const
{
    const qint64 v = m_mpv.integer(property);
    return QString::number(v / 2 + 50);
}

bool MpvEngineConfig::setEnhancement(const QString &value)
{
    const bool on = value.trimmed() == QLatin1String("1");
    bool applied = m_mpv.setFlag(MpvProperty::Deband, on);
    applied &= m_mpv.setDouble(MpvProperty::Sharpen, on ? 0.3 : 0.0);
    updatePictureFilter();
    return applied;
}

bool MpvEngineConfig::gpuDecoderDevicePresent()
{
    // VA-API and VDPAU through a DRM render node, NVDEC and VDPAU through NVIDIA's device.
    static const bool present = !QDir(QStringLiteral("/dev/dri")).entryList({QStringLiteral("renderD*")}, QDir::System).isEmpty()
        || QFileInfo::exists(QStringLiteral("/dev/nvidiactl"));
    return present;
}

const char *MpvEngineConfig::hardwareDecoderSetting(bool on)
{
    // libmpv falls back to the CPU by itself where no hardware decoder takes the video, but only
    // after trying each kind at every open (tens of milliseconds): not where no GPU is there.
    return on && gpuDecoderDevicePresent() ? MpvProperty::HwdecAutoSafe : MpvProperty::HwdecOff;
}

void MpvEngineConfig::setPictureFiltered(bool on)
{
    if (m_pictureFiltered == on)
        return;
    m_pictureFiltered = on;
    updatePictureFilter();
}

void MpvEngineConfig::updatePictureFilter()
{
    const QString label = QString::fromLatin1(PictureFilterLabel);
    // Removing a label that is not there fails harmlessly.
    m_mpv.command({QString::fromLatin1(MpvCommand::VideoFilter), QStringLiteral("remove"), label});
    if (!m_pictureFiltered)
        return;
    // The same scales as the OpenGL renderer's: -100..100 each, 0 neutral.
    const qint64 brightness = m_mpv.integer(MpvProperty::Brightness);
    const qint64 contrast = m_mpv.integer(MpvProperty::Contrast);
    const qint64 saturation = m_mpv.integer(MpvProperty::Saturation);
    const qint64 hue = m_mpv.integer(MpvProperty::Hue);
    QStringList graph;
    if (brightness != 0 || contrast != 0 || saturation != 0) {
        graph << QStringLiteral("eq=brightness=%1:contrast=%2:saturation=%3")
                     .arg(brightness / 100.0, 0, 'f', 2)
                     .arg((contrast + 100) / 100.0, 0, 'f', 2)
                     .arg((saturation + 100) / 100.0, 0, 'f', 2);
    }
    if (hue != 0)
        graph << QStringLiteral("hue=h=%1").arg(hue * 1.8, 0, 'f', 1);
    if (m_mpv.flag(MpvProperty::Deband))
        graph << QStringLiteral("deband") << QStringLiteral("unsharp=la=0.3");
    if (graph.isEmpty())
        return;
    m_mpv.command({QString::fromLatin1(MpvCommand::VideoFilter), QStringLiteral("add"),
                   label + QStringLiteral(":lavfi=[") + graph.join(QLatin1Char(',')) + QLatin1Char(']')});
}

bool MpvEngineConfig::setAudioChannel(const QString &value)
{
    static const char *const graphs[] = {
        nullptr,
        "lavfi=[pan=stereo|c0=c0|c1=c0]",
        "lavfi=[pan=stereo|c0=c1|c1=c1]",
        "lavfi=[pan=stereo|c0=0.5*c0+0.5*c1|c1=0.5*c0+0.5*c1]",
    };
    bool ok = false;
    const int mode = value.trimmed().toInt(&ok);
    if (!ok || mode < 0 || mode > 3)
        return false;
    const QString label = QString::fromLatin1(ChannelFilterLabel);
    // Removing a label that is not there fails harmlessly.
    m_mpv.command({QString::fromLatin1(MpvCommand::AudioFilter), QStringLiteral("remove"), label});
    bool applied = true;
    if (graphs[mode]) {
        applied = m_mpv.command({QString::fromLatin1(MpvCommand::AudioFilter), QStringLiteral("add"),
                                 label + QLatin1Char(':') + QString::fromLatin1(graphs[mode])}) >= 0;
    }
    m_lastSet.insert(PlayerEngine::AudioChannel, QString::number(mode));
    return applied;
}

bool MpvEngineConfig::setSubtitleFile(const QString &path)
{
    if (path.isEmpty()) {
        if (m_mpv.string(MpvProperty::SubExternalFilename).isEmpty())
            return true;
        return m_mpv.command({QString::fromLatin1(MpvCommand::SubRemove)}) >= 0;
    }
    return m_mpv.command({QString::fromLatin1(MpvCommand::SubAdd), path, QStringLiteral("select")}) >= 0;
}

bool MpvEngineConfig::setSubtitlePlacement(const QString &value)
{
    const QStringList fields = value.split(QLatin1Char(';'));
    if (fields.size() < 3)
        return false;
    bool okH = false;
    bool okV = false;
    const qint64 h = clampedNumber(fields.at(1), 0, 2 * PlacementCentre, &okH);
    const qint64 v = clampedNumber(fields.at(2), 0, SubPosMax, &okV);
    if (!okH || !okV)
        return false;
    QString align = QStringLiteral("center");
    qint64 margin = 25; // libmpv's default
    if (h < PlacementCentre) {
        align = QStringLiteral("left");
        margin = PlacementBaseMargin - (PlacementCentre - h) * PlacementStepPixels;
    } else if (h > PlacementCentre) {
        align = QStringLiteral("right");
        margin = PlacementBaseMargin - (h - PlacementCentre) * PlacementStepPixels;
    }
    margin = qBound<qint64>(0, margin, SubMarginXMax);
    bool applied = m_mpv.setInt(MpvProperty::SubPos, v);
    applied &= m_mpv.setString(MpvProperty::SubAlignX, align);
    applied &= m_mpv.setInt(MpvProperty::SubMarginX, margin);
    // Stored in range, so a later step starts from what is shown.
    QStringList stored = fields;
    stored[1] = QString::number(h);
    stored[2] = QString::number(v);
    m_lastSet.insert(PlayerEngine::SubtitlePlacement, stored.join(QLatin1Char(';')));
    return applied;
}

bool MpvEngineConfig::setSubtitleFont(const QString &value)
{
    const QStringList fields = value.split(QLatin1Char(';'));
    if (fields.size() < 2)
        return false;
    bool ok = false;
    const double size = fields.at(1).trimmed().toDouble(&ok);
    if (!ok || size <= 0)
        return false;
    bool applied = m_mpv.setDouble(MpvProperty::SubFontSize, qBound(1.0, size * FontSizePerStep, 9000.0));
    if (!fields.at(0).trimmed().isEmpty())
        applied &= m_mpv.setString(MpvProperty::SubFont, fields.at(0).trimmed());
    m_lastSet.insert(PlayerEngine::SubtitleFont, value);
    return applied;
}

bool MpvEngineConfig::setSubtitleDelay(const QString &value)
{
    bool ok = false;
    const qint64 ms = value.section(QLatin1Char(';'), 0, 0).trimmed().toLongLong(&ok);
    if (!ok)
        return false;
    return m_mpv.setDouble(MpvProperty::SubDelay, double(ms) / 1000.0);
}

bool MpvEngineConfig::setCookie(const QString &value)
{
    // A line break would let the value add headers of its own.
    QString cookie = value;
    cookie.remove(QLatin1Char('\r'));
    cookie.remove(QLatin1Char('\n'));
    cookie.remove(QChar(0));
    QStringList fields;
    if (!cookie.trimmed().isEmpty())
        fields << QStringLiteral("Cookie: ") + cookie;
    const bool applied = m_mpv.setStringList(MpvProperty::HttpHeaderFields, fields);
    if (applied)
        m_lastSet.insert(PlayerEngine::HttpCookie, cookie);
    return applied;
}

bool MpvEngineConfig::setCacheFile(const QString &path)
{
    if (path.trimmed().isEmpty())
        return false;
    const QString folder = QFileInfo(QDir::fromNativeSeparators(path)).absolutePath();
    QDir().mkpath(folder);
    const bool applied = m_mpv.setString(MpvProperty::CacheDir, folder);
    if (applied)
        m_lastSet.insert(PlayerEngine::CacheFilePath, path);
    return applied;
}

bool MpvEngineConfig::setCacheEnabled(const QString &value)
{
    const bool on = value.trimmed() == QLatin1String("1");
    bool applied = m_mpv.setString(MpvProperty::Cache, on ? QStringLiteral("yes") : QStringLiteral("auto"));
    applied &= m_mpv.setFlag(MpvProperty::CacheOnDisk, on);
    // The file stays visible while playing and goes when the media ends.
    applied &= m_mpv.setString(MpvProperty::CacheUnlinkFiles, QStringLiteral("whendone"));
    m_lastSet.insert(PlayerEngine::CacheEnabled, boolText(on));
    return applied;
}
