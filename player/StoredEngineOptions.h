#pragma once

#include <QString>

class PlayerEngine;

// The user's stored picture and sound choices as the engine understands them: each stored text
// and the item value it stands for. The argument-less forms apply what Config.ini holds.
// Texts outside a choice's known set leave the engine alone.
class StoredEngineOptions
{
public:
    static void applyAspectRatio(PlayerEngine *engine);
    static void applyAudioChannel(PlayerEngine *engine);
    // Brightness, contrast, saturation, hue, then the image enhancement.
    static void applyColours(PlayerEngine *engine);
    static void applyRenderMode(PlayerEngine *engine);
    static void applyHardwareDecoding(PlayerEngine *engine);

    static void applyAspectRatio(PlayerEngine *engine, const QString &stored);
    static void applyAudioChannel(PlayerEngine *engine, const QString &stored);
    static void applyRenderMode(PlayerEngine *engine, const QString &stored);
};
