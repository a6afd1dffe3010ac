#pragma once

#include "player/ui/MpvRenderTarget.h"

// libmpv's software renderer: scales and converts each frame on the CPU straight into the
// picture, in the window's own pixel format (32-bit BGRX), so painting it is a plain copy.
class MpvSoftwareTarget : public MpvRenderTarget
{
public:
    MpvRenderContextPtr open(mpv_handle *handle) override;
    QImage makePicture(const QSize &size) override;
    bool draw(mpv_render_context *render, const QSize &size, QImage &picture) override;
};
