#pragma once

#include "player/RendererDevice.h"

#include <QList>
#include <QObject>

class MediaRenderer;

// The media renderers on the local network. Searching sends the question out on every network
// interface but loopback; the list fills as renderers answer and as they announce themselves.
class RendererDiscovery : public QObject
{
    Q_OBJECT

public:
    explicit RendererDiscovery(QObject *parent = nullptr);
    ~RendererDiscovery() override;

    // Starts listening and asks again; answers arrive through deviceFound.
    virtual void search() = 0;
    virtual QList<RendererDevice> devices() const = 0;
    // A handle on that renderer's transport, owned by parent; null when it is not (or no longer)
    // known or has no transport to play on.
    virtual MediaRenderer *connectTo(const QString &id, QObject *parent) = 0;

signals:
    void deviceFound(const RendererDevice &device);
    void deviceLost(const QString &id);
};
