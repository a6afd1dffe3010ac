#pragma once

#include <mpv/client.h>
#include <mpv/render.h>

#include <memory>

// Owners for the handles and buffers that libmpv hands out.

struct MpvHandleDeleter
{
    void operator()(mpv_handle *handle) const { mpv_terminate_destroy(handle); }
};
using MpvHandlePtr = std::unique_ptr<mpv_handle, MpvHandleDeleter>;

struct MpvRenderContextDeleter
{
    void operator()(mpv_render_context *context) const { mpv_render_context_free(context); }
};
using MpvRenderContextPtr = std::unique_ptr<mpv_render_context, MpvRenderContextDeleter>;

struct MpvStringDeleter
{
    void operator()(char *text) const { mpv_free(text); }
};
using MpvStringPtr = std::unique_ptr<char, MpvStringDeleter>;

// A node filled in by libmpv (command results, property reads).
class MpvNodeResult
{
public:
    MpvNodeResult() { node.format = MPV_FORMAT_NONE; }
    ~MpvNodeResult()
    {
        if (filled)
            mpv_free_node_contents(&node);
    }
    MpvNodeResult(const MpvNodeResult &) = delete;
    MpvNodeResult &operator=(const MpvNodeResult &) = delete;

    mpv_node node;
    bool filled = false;
};
