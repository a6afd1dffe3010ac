#include "player/StoredEngineOptions.h"

#include "app/AppConfig.h"
#include "player/PlayerEngine.h"

#include <QHash>

void StoredEngineOptions::applyAspectRatio(PlayerEngine *engine)
{
    applyAspectRatio(engine, AppConfig::videoAspectRatio());
}

void StoredEngineOptions::applyAudioChannel(PlayerEngine *engine)
{
    applyAudioChannel(engine, AppConfig::audioChannelMode());
}

void StoredEngineOptions::applyRenderMode(PlayerEngine *engine)
{
    applyRenderMode(engine, AppConfig::renderMode());
}

void StoredEngineOptions::applyHardwareDecoding(PlayerEngine *engine)
{
    engine->setConfig(PlayerEngine::HardwareDecoding, AppConfig::hardwareDecoding() == 0 ? QStringLiteral("0")
                                                                                      : QStringLiteral("1"));
}

void StoredEngineOptions::applyAspectRatio(PlayerEngine *engine, const QString &stored)
{
    if (stored == QLatin1String("default"))
        engine->setConfig(PlayerEngine::VideoAspect, engine->config(PlayerEngine::VideoOwnAspect));
    else if (stored == QLatin1String("4:3"))
        engine->setConfig(PlayerEngine::VideoAspect, QStringLiteral("4;3"));
    else if (stored == QLatin1String("16:9"))
        engine->setConfig(PlayerEngine::VideoAspect, QStringLiteral("16;9"));
}

void StoredEngineOptions::applyAudioChannel(PlayerEngine *engine, const QString &stored)
{
    static const QHash<QString, QString> values = {
        {QStringLiteral("StereoAudioChannel"), QStringLiteral("0")},
        {QStringLiteral("LeftAudioChannel"), QStringLiteral("1")},
        {QStringLiteral("RightAudioChannel"), QStringLiteral("2")},
        {QStringLiteral("LeftRightAudioChannel"), QStringLiteral("3")},
    };
    const auto value = values.constFind(stored);
    if (value != values.constEnd())
        engine->setConfig(PlayerEngine::AudioChannel, *value);
}

void StoredEngineOptions::applyColours(PlayerEngine *engine)
{
    engine->setConfig(PlayerEngine::Brightness, QString::number(AppConfig::brightness()));
    engine->setConfig(PlayerEngine::Contrast, QString::number(AppConfig::contrast()));
    engine->setConfig(PlayerEngine::Saturation, QString::number(AppConfig::saturation()));
    engine->setConfig(PlayerEngine::Hue, QString::number(AppConfig::hue()));
    engine->setConfig(PlayerEngine::PictureEnhancement, QString::number(AppConfig::imageNormalize()));
}

void StoredEngineOptions::applyRenderMode(PlayerEngine *engine, const QString &stored)
{
    static const QHash<QString, QString> values = {
        {QStringLiteral("Overlay"), QStringLiteral("1")},  {QStringLiteral("Renderless"), QStringLiteral("2")},
        {QStringLiteral("EVR"), QStringLiteral("3")},      {QStringLiteral("EVRCP"), QStringLiteral("4")},
        {QStringLiteral("AVR"), QStringLiteral("5")},
    };
    const auto value = values.constFind(stored);
    if (value != values.constEnd())
        engine->setConfig(PlayerEngine::RenderMode, *value);
}
