#include "player/upnp/UpnpRendererDiscovery.h"

#include "player/upnp/GUPnP.h"
#include "player/upnp/UpnpMediaRenderer.h"

#include <QAbstractEventDispatcher>
#include <QHostAddress>
#include <QUrl>

namespace {
const char kTransport[] = "urn:schemas-upnp-org:service:AVTransport:1";
const char kRendering[] = "urn:schemas-upnp-org:service:RenderingControl:1";
} // namespace

UpnpRendererDiscovery::UpnpRendererDiscovery(QObject *parent)
    : RendererDiscovery(parent)
{
    // GUPnP works on the thread's GLib main context. Qt's own loop runs it where Qt was built
    // with GLib (Debian's is); elsewhere it is driven from here.
    QAbstractEventDispatcher *dispatcher = QAbstractEventDispatcher::instance();
    if (!dispatcher || !dispatcher->inherits("QEventDispatcherGlib")) {
        m_pump.setInterval(20);
        connect(&m_pump, &QTimer::timeout, this, [] {
            while (g_main_context_iteration(nullptr, FALSE)) { }
        });
        m_pump.start();
    }
}

UpnpRendererDiscovery::~UpnpRendererDiscovery()
{
    if (m_manager) {
        g_signal_handlers_disconnect_by_data(m_manager, this);
        g_object_unref(m_manager);
    }
    for (GUPnPControlPoint *point : qAsConst(m_points)) {
        g_signal_handlers_disconnect_by_data(point, this);
        g_object_unref(point);
    }
    for (const Known &known : qAsConst(m_known)) {
        for (GUPnPDeviceProxy *proxy : known.proxies)
            g_object_unref(proxy);
    }
}

void UpnpRendererDiscovery::search()
{
    if (!m_manager) {
        // Port 0: the HTTP server every context runs (for events, which this side does not use)
        // takes any free port.
        m_manager = gupnp_context_manager_create_full(GSSDP_UDA_VERSION_1_0, G_SOCKET_FAMILY_IPV4, 0);
        g_signal_connect(m_manager, "context-available", G_CALLBACK(&UpnpRendererDiscovery::onContextAvailable), this);
        g_signal_connect(m_manager, "context-unavailable", G_CALLBACK(&UpnpRendererDiscovery::onContextUnavailable),
                         this);
        return; // each control point searches as it starts
    }
    for (GUPnPControlPoint *point : qAsConst(m_points))
        gssdp_resource_browser_rescan(GSSDP_RESOURCE_BROWSER(point));
}

void UpnpRendererDiscovery::onContextAvailable(GUPnPContextManager *manager, GUPnPContext *context, gpointer self)
{
    auto *discovery = static_cast<UpnpRendererDiscovery *>(self);
    // Renderers never answer on loopback; searching there only costs time.
    if (QHostAddress(QString::fromLatin1(gssdp_client_get_host_ip(GSSDP_CLIENT(context)))).isLoopback())
        return;
    GUPnPControlPoint *point = gupnp_control_point_new(context, DeviceType);
    g_signal_connect(point, "device-proxy-available", G_CALLBACK(&UpnpRendererDiscovery::onDeviceAvailable), self);
    g_signal_connect(point, "device-proxy-unavailable", G_CALLBACK(&UpnpRendererDiscovery::onDeviceUnavailable), self);
    gssdp_resource_browser_set_active(GSSDP_RESOURCE_BROWSER(point), TRUE);
    gupnp_context_manager_manage_control_point(manager, point);
    discovery->m_points.insert(context, point);
}

void UpnpRendererDiscovery::onContextUnavailable(GUPnPContextManager *, GUPnPContext *context, gpointer self)
{
    auto *discovery = static_cast<UpnpRendererDiscovery *>(self);
    GUPnPControlPoint *point = discovery->m_points.take(context);
    if (!point)
        return;
    g_signal_handlers_disconnect_by_data(point, self);
    // The devices seen through it go with the interface.
    const QList<QString> ids = discovery->m_known.keys();
    for (const QString &id : ids) {
        const QList<GUPnPDeviceProxy *> proxies = discovery->m_known.value(id).proxies;
        for (GUPnPDeviceProxy *proxy : proxies) {
            if (gupnp_device_info_get_context(GUPNP_DEVICE_INFO(proxy)) == context)
                discovery->removeDevice(proxy);
        }
    }
    g_object_unref(point);
}

void UpnpRendererDiscovery::onDeviceAvailable(GUPnPControlPoint *, GUPnPDeviceProxy *proxy, gpointer self)
{
    static_cast<UpnpRendererDiscovery *>(self)->addDevice(proxy);
}

void UpnpRendererDiscovery::onDeviceUnavailable(GUPnPControlPoint *, GUPnPDeviceProxy *proxy, gpointer self)
{
    static_cast<UpnpRendererDiscovery *>(self)->removeDevice(proxy);
}

void UpnpRendererDiscovery::addDevice(GUPnPDeviceProxy *proxy)
{
    GUPnPDeviceInfo *info = GUPNP_DEVICE_INFO(proxy);
    const QString id = QString::fromUtf8(gupnp_device_info_get_udn(info));
    if (id.isEmpty())
        return;
    Known &known = m_known[id];
    known.proxies.append(GUPNP_DEVICE_PROXY(g_object_ref(proxy)));
    if (known.proxies.size() > 1)
        return; // the same renderer on another interface
    char *name = gupnp_device_info_get_friendly_name(info);
    known.device.id = id;
    known.device.name = QString::fromUtf8(name).trimmed();
    g_free(name);
    if (known.device.name.isEmpty())
        known.device.name = id;
    known.device.address = QUrl(QString::fromUtf8(gupnp_device_info_get_location(info))).host();
    m_order.append(id);
    emit deviceFound(known.device);
}

void UpnpRendererDiscovery::removeDevice(GUPnPDeviceProxy *proxy)
{
    const QString id = QString::fromUtf8(gupnp_device_info_get_udn(GUPNP_DEVICE_INFO(proxy)));
    auto it = m_known.find(id);
    if (it == m_known.end() || !it->proxies.removeOne(proxy))
        return;
    g_object_unref(proxy);
    if (!it->proxies.isEmpty())
        return;
    m_known.erase(it);
    m_order.removeAll(id);
    emit deviceLost(id);
}

QList<RendererDevice> UpnpRendererDiscovery::devices() const
{
    QList<RendererDevice> devices;
    for (const QString &id : m_order)
        devices.append(m_known.value(id).device);
    return devices;
}

MediaRenderer *UpnpRendererDiscovery::connectTo(const QString &id, QObject *parent)
{
    const Known known = m_known.value(id);
    if (known.proxies.isEmpty())
        return nullptr;
    GUPnPDeviceInfo *info = GUPNP_DEVICE_INFO(known.proxies.first());
    GUPnPServiceInfo *transport = gupnp_device_info_get_service(info, kTransport);
    if (!transport)
        return nullptr;
    GUPnPServiceInfo *rendering = gupnp_device_info_get_service(info, kRendering);
    auto *renderer = new UpnpMediaRenderer(known.device.name, GUPNP_SERVICE_PROXY(transport),
                                           rendering ? GUPNP_SERVICE_PROXY(rendering) : nullptr, parent);
    connect(this, &RendererDiscovery::deviceLost, renderer, [renderer, id](const QString &lost) {
        if (lost == id)
            emit renderer->lost();
    });
    return renderer;
}
