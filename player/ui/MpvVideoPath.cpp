#include "player/ui/MpvVideoPath.h"

#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions>

namespace {
struct PathName
{
    MpvVideoPath::Kind kind;
    const char *name;
};
const PathName pathNames[] = {
    {MpvVideoPath::Software, "software"},
    {MpvVideoPath::Direct, "direct"},
    {MpvVideoPath::Readback, "readback"},
};
} // namespace

const char *MpvVideoPath::name(Kind kind)
{
    for (const PathName &entry : pathNames) {
        if (entry.kind == kind)
            return entry.name;
    }
    return "";
}

bool MpvVideoPath::forced(Kind *kind)
{
    const QByteArray chosen = qgetenv("PELORIN_VIDEO_PATH").trimmed().toLower();
    for (const PathName &entry : pathNames) {
        if (chosen == entry.name) {
            *kind = entry.kind;
            return true;
        }
    }
    if (!chosen.isEmpty())
        qWarning("PELORIN_VIDEO_PATH=%s names no video path (software, direct, readback): ignored", chosen.constData());
    return false;
}

MpvVideoPath::Kind MpvVideoPath::choose(QScreen *screen)
{
    Kind kind = Software;
    if (forced(&kind))
        return kind;
    static const QByteArray renderer = glRenderer(screen);
    if (renderer.isEmpty() || isSoftwareRenderer(renderer))
        return Software;
    return Direct;
}

QByteArray MpvVideoPath::glRenderer(QScreen *screen)
{
    QOffscreenSurface surface(screen);
    surface.create();
    QOpenGLContext context;
    context.setScreen(screen);
    if (!surface.isValid() || !context.create() || !context.makeCurrent(&surface))
        return {};
    const auto *text = reinterpret_cast<const char *>(context.functions()->glGetString(GL_RENDERER));
    QByteArray renderer(text ? text : "");
    context.doneCurrent();
    return renderer;
}

bool MpvVideoPath::isSoftwareRenderer(const QByteArray &renderer)
{
    const QByteArray lower = renderer.toLower();
    return lower.contains("llvmpipe") || lower.contains("softpipe") || lower.contains("swrast")
        || lower.contains("software rasterizer");
}
