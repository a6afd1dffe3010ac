#include "player/RendererDiscovery.h"

RendererDiscovery::RendererDiscovery(QObject *parent)
    : QObject(parent)
{
}

RendererDiscovery::~RendererDiscovery() = default;
