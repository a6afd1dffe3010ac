#include "player/PictureSoundOptions.h"

#include "app/AppConfig.h"
#include "player/PlaybackController.h"
#include "player/PlayerEngine.h"
#include "player/StoredEngineOptions.h"

QList<PictureSoundOptions::Choice> PictureSoundOptions::choices(Group group)
{
    switch (group) {
    case AspectRatio:
        return {{tr("默认"), QStringLiteral("default")},
                {QStringLiteral("4 : 3"), QStringLiteral("4:3")},
                {QStringLiteral("16 : 9"), QStringLiteral("16:9")}};
    case AudioChannel:
        return {{tr("立体声 - 默认"), QStringLiteral("StereoAudioChannel")},
                {tr("左声道"), QStringLiteral("LeftAudioChannel")},
                {tr("右声道"), QStringLiteral("RightAudioChannel")},
                {tr("左右混合"), QStringLiteral("LeftRightAudioChannel")}};
    case RenderMode:
        return {{tr("Overlay - xp默认"), QStringLiteral("Overlay")},
                {tr("Renderless - 建议"), QStringLiteral("Renderless")},
                {tr("EVR - win7及以上"), QStringLiteral("EVR")},
                {tr("EVRCP - win7默认"), QStringLiteral("EVRCP")},
                {tr("AVR - win7及以上"), QStringLiteral("AVR")}};
    }
    return {};
}

QString PictureSoundOptions::storedChoice(Group group)
{
    switch (group) {
    case AspectRatio: return AppConfig::videoAspectRatio();
    case AudioChannel: return AppConfig::audioChannelMode();
    case RenderMode: return AppConfig::renderMode();
    }
    return {};
}

PictureSoundOptions::PictureSoundOptions(PlaybackController *playback)
    : QObject(playback)
    , m_playback(playback)
{
}

void PictureSoundOptions::choose(Group group, const QString &stored)
{
    PlayerEngine *engine = m_playback->isMediaOpen() ? m_playback->engine() : nullptr;
    switch (group) {
    case AspectRatio:
        if (engine)
            StoredEngineOptions::applyAspectRatio(engine, stored);
        AppConfig::setVideoAspectRatio(stored);
        break;
    case AudioChannel:
        if (engine)
            StoredEngineOptions::applyAudioChannel(engine, stored);
        AppConfig::setAudioChannelMode(stored);
        break;
    case RenderMode:
        if (engine)
            StoredEngineOptions::applyRenderMode(engine, stored);
        AppConfig::setRenderMode(stored);
        break;
    }
}

void PictureSoundOptions::chooseDefaultAspectRatio() { choose(AspectRatio, QStringLiteral("default")); }
void PictureSoundOptions::choose4To3AspectRatio() { choose(AspectRatio, QStringLiteral("4:3")); }
void PictureSoundOptions::choose16To9AspectRatio() { choose(AspectRatio, QStringLiteral("16:9")); }
void PictureSoundOptions::chooseStereoAudioChannel() { choose(AudioChannel, QStringLiteral("StereoAudioChannel")); }
void PictureSoundOptions::chooseLeftAudioChannel() { choose(AudioChannel, QStringLiteral("LeftAudioChannel")); }
void PictureSoundOptions::chooseRightAudioChannel() { choose(AudioChannel, QStringLiteral("RightAudioChannel")); }
void PictureSoundOptions::chooseLeftRightAudioChannel()
{
    choose(AudioChannel, QStringLiteral("LeftRightAudioChannel"));
}
void PictureSoundOptions::chooseOverlayRenderMode() { choose(RenderMode, QStringLiteral("Overlay")); }
void PictureSoundOptions::chooseRenderlessRenderMode() { choose(RenderMode, QStringLiteral("Renderless")); }
void PictureSoundOptions::chooseEVRRenderMode() { choose(RenderMode, QStringLiteral("EVR")); }
void PictureSoundOptions::chooseEVRCPRenderMode() { choose(RenderMode, QStringLiteral("EVRCP")); }
void PictureSoundOptions::chooseAVRRenderMode() { choose(RenderMode, QStringLiteral("AVR")); }

bool PictureSoundOptions::storedImageEnhancement()
{
    return AppConfig::imageNormalize() == 1;
}

void PictureSoundOptions::toggleImageEnhancement()
{
    PlayerEngine *engine = m_playback->engine();
    if (m_playback->isMediaOpen()) {
        const bool off = engine->config(PlayerEngine::PictureEnhancement) == QLatin1String("0");
        engine->setConfig(PlayerEngine::PictureEnhancement, off ? QStringLiteral("1") : QStringLiteral("0"));
    }
    // With nothing open the engine's current value is stored unchanged; no engine at all reads 0.
    const QString now = engine ? engine->config(PlayerEngine::PictureEnhancement) : QString();
    AppConfig::setImageNormalize(now.toUInt());
}

void PictureSoundOptions::setColour(int item, void (*store)(uint), int value)
{
    value = qBound(0, value, 100); // a slider's range; never a wrapped unsigned in the store
    if (m_playback->isMediaOpen())
        m_playback->engine()->setConfig(item, QString::number(value));
    store(uint(value));
}

void PictureSoundOptions::setHardwareDecoding(bool on)
{
    AppConfig::setHardwareDecoding(on ? 1 : 0);
    if (m_playback->isMediaOpen())
        StoredEngineOptions::applyHardwareDecoding(m_playback->engine());
}

void PictureSoundOptions::setBrightness(int value)
{
    setColour(PlayerEngine::Brightness, &AppConfig::setBrightness, value);
}

void PictureSoundOptions::setContrast(int value)
{
    setColour(PlayerEngine::Contrast, &AppConfig::setContrast, value);
}

void PictureSoundOptions::setSaturation(int value)
{
    setColour(PlayerEngine::Saturation, &AppConfig::setSaturation, value);
}

void PictureSoundOptions::setHue(int value)
{
    setColour(PlayerEngine::Hue, &AppConfig::setHue, value);
}

void PictureSoundOptions::restoreDefaultColours()
{
    setBrightness(DefaultColour);
    setContrast(DefaultColour);
    setSaturation(DefaultColour);
    setHue(DefaultColour);
}
