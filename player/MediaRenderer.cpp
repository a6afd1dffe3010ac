#include "player/MediaRenderer.h"

MediaRenderer::MediaRenderer(QObject *parent)
    : QObject(parent)
{
}

MediaRenderer::~MediaRenderer() = default;
