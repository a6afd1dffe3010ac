#pragma once

class PlayerEngine;

// The user's stored picture and sound choices as the engine understands them. Applied to every
// media that opens; each choice also reaches the engine at once while a media is open.
class StoredEngineOptions
{
public:
    // Aspect ratio, audio channel, colours and enhancement, render mode, in that order.
    static void applyAll(PlayerEngine *engine);

    static void applyAspectRatio(PlayerEngine *engine);
    static void applyAudioChannel(PlayerEngine *engine);
    static void applyColours(PlayerEngine *engine);
    static void applyRenderMode(PlayerEngine *engine);
};
