#pragma once

#include "player/RendererDiscovery.h"
#include "player/upnp/GUPnP.h"

#include <QHash>
#include <QList>
#include <QStringList>
#include <QTimer>

// Media renderers found through GUPnP: a context manager follows the machine's network
// interfaces (IPv4, loopback left out) and a control point on each searches for
// MediaRenderer:1 devices and hears them come and go.
class UpnpRendererDiscovery : public RendererDiscovery
{
    Q_OBJECT

public:
    static constexpr char DeviceType[] = "urn:schemas-upnp-org:device:MediaRenderer:1";

    explicit UpnpRendererDiscovery(QObject *parent = nullptr);
    ~UpnpRendererDiscovery() override;

    void search() override;
    QList<RendererDevice> devices() const override;
    MediaRenderer *connectTo(const QString &id, QObject *parent) override;

private:
    struct Known
    {
        RendererDevice device;
        QList<GUPnPDeviceProxy *> proxies; // one reference each; one per interface it was seen on
    };

    static void onContextAvailable(GUPnPContextManager *manager, GUPnPContext *context, gpointer self);
    static void onContextUnavailable(GUPnPContextManager *manager, GUPnPContext *context, gpointer self);
    static void onDeviceAvailable(GUPnPControlPoint *point, GUPnPDeviceProxy *proxy, gpointer self);
    static void onDeviceUnavailable(GUPnPControlPoint *point, GUPnPDeviceProxy *proxy, gpointer self);
    void addDevice(GUPnPDeviceProxy *proxy);
    void removeDevice(GUPnPDeviceProxy *proxy);

    GUPnPContextManager *m_manager = nullptr;
    QHash<GUPnPContext *, GUPnPControlPoint *> m_points; // one reference each
    QStringList m_order; // ids as they were found
    QHash<QString, Known> m_known;
    QTimer m_pump;
};
