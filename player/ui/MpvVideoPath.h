#pragma once

#include <QByteArray>

class QScreen;

// How the video reaches the screen.
// - Software: libmpv's software renderer draws each frame into the picture the widget paints;
//   no shader runs on the CPU and nothing is read back. Chosen where OpenGL is a software driver.
// - Direct: OpenGL draws straight into a native window of its own inside the video area; no frame
//   comes back to memory. Chosen where OpenGL is a hardware driver.
// - Readback: OpenGL draws off screen and each frame is read back into the picture; the fallback
//   where neither of the others can start.
class MpvVideoPath
{
public:
    enum Kind { Software, Direct, Readback };

    // PELORIN_VIDEO_PATH (software, direct or readback) when set to one of those, otherwise from
    // the OpenGL renderer of screen (probed once per process).
    static Kind choose(QScreen *screen);
    // False when the variable is unset or names no path.
    static bool forced(Kind *kind);
    static const char *name(Kind kind);

    // GL_RENDERER of a context on screen, empty when no OpenGL context can be made.
    static QByteArray glRenderer(QScreen *screen);
    // llvmpipe, softpipe, swrast and the like: drawing through them runs shaders on the CPU.
    static bool isSoftwareRenderer(const QByteArray &renderer);
};
