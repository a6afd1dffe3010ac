#include "player/upnp/UpnpMediaRenderer.h"

#include "player/upnp/GUPnP.h"

#include <QPointer>

namespace {
QString takeString(char *text)
{
    const QString value = QString::fromUtf8(text);
    g_free(text);
    return value;
}
} // namespace

struct UpnpMediaRenderer::Call
{
    QPointer<UpnpMediaRenderer> owner;
    Action action;
    GCancellable *cancellable; // the generation it belongs to: cancelled calls never report
    GUPnPServiceProxyAction *request;
};

UpnpMediaRenderer::UpnpMediaRenderer(const QString &name, GUPnPServiceProxy *transport, GUPnPServiceProxy *rendering,
                                     QObject *parent)
    : MediaRenderer(parent)
    , m_name(name)
    , m_transport(transport)
    , m_rendering(rendering)
    , m_cancellable(g_cancellable_new())
{ }

UpnpMediaRenderer::~UpnpMediaRenderer()
{
    g_cancellable_cancel(m_cancellable);
    g_object_unref(m_cancellable);
    g_object_unref(m_transport);
    if (m_rendering)
        g_object_unref(m_rendering);
}

QByteArray UpnpMediaRenderer::metadata(const QString &url, const QString &title, const QString &mimeType)
{
    GObjectPointer<GUPnPDIDLLiteWriter> writer(gupnp_didl_lite_writer_new(nullptr));
    GObjectPointer<GUPnPDIDLLiteItem> item(gupnp_didl_lite_writer_add_item(writer.get()));
    auto *object = GUPNP_DIDL_LITE_OBJECT(item.get());
    gupnp_didl_lite_object_set_id(object, "0");
    gupnp_didl_lite_object_set_parent_id(object, "-1");
    gupnp_didl_lite_object_set_restricted(object, TRUE);
    gupnp_didl_lite_object_set_title(object, title.toUtf8().constData());
    gupnp_didl_lite_object_set_upnp_class(object, "object.item.videoItem");
    GObjectPointer<GUPnPDIDLLiteResource> resource(gupnp_didl_lite_object_add_resource(object));
    gupnp_didl_lite_resource_set_uri(resource.get(), url.toUtf8().constData());
    GObjectPointer<GUPnPProtocolInfo> info(gupnp_protocol_info_new());
    gupnp_protocol_info_set_protocol(info.get(), "http-get");
    gupnp_protocol_info_set_network(info.get(), "*");
    gupnp_protocol_info_set_mime_type(info.get(), mimeType.toUtf8().constData());
    gupnp_didl_lite_resource_set_protocol_info(resource.get(), info.get());
    char *text = gupnp_didl_lite_writer_get_string(writer.get());
    const QByteArray didl(text);
    g_free(text);
    return didl;
}

void UpnpMediaRenderer::send(Action action, GUPnPServiceProxy *service, GUPnPServiceProxyAction *request)
{
    auto *call = new Call{this, action, G_CANCELLABLE(g_object_ref(m_cancellable)), request};
    gupnp_service_proxy_call_action_async(service, request, m_cancellable, &UpnpMediaRenderer::onCallDone, call);
}

void UpnpMediaRenderer::onCallDone(GObject *object, GAsyncResult *result, gpointer data)
{
    auto *call = static_cast<Call *>(data);
    GError *error = nullptr;
    GUPnPServiceProxyAction *answered =
        gupnp_service_proxy_call_action_finish(GUPNP_SERVICE_PROXY(object), result, &error);
    if (call->owner && !g_cancellable_is_cancelled(call->cancellable))
        call->owner->finish(call, answered, error);
    if (error)
        g_error_free(error);
    gupnp_service_proxy_action_unref(call->request);
    g_object_unref(call->cancellable);
    delete call;
}

void UpnpMediaRenderer::finish(Call *call, GUPnPServiceProxyAction *answered, GError *error)
{
    char *first = nullptr;
    char *second = nullptr;
    if (!error && call->action == QueryPosition)
        gupnp_service_proxy_action_get_result(answered, &error, "RelTime", G_TYPE_STRING, &first, "TrackDuration",
                                              G_TYPE_STRING, &second, nullptr);
    else if (!error && call->action == QueryTransport)
        gupnp_service_proxy_action_get_result(answered, &error, "CurrentTransportState", G_TYPE_STRING, &first,
                                              "CurrentTransportStatus", G_TYPE_STRING, &second, nullptr);
    else if (!error)
        gupnp_service_proxy_action_get_result(answered, &error, nullptr);
    const QString one = takeString(first);
    const QString two = takeString(second);
    if (!error) {
        if (call->action == QueryPosition)
            emit positionInfo(one, two);
        else if (call->action == QueryTransport)
            emit transportInfo(one, two);
        emit finished(call->action, true, false, QString());
        return;
    }
    // A fault is the renderer's own answer; anything else (no connection, a broken one, no
    // HTTP answer) means it cannot be reached.
    const bool answeredByRenderer = error->domain == GUPNP_CONTROL_ERROR;
    emit finished(call->action, false, !answeredByRenderer, QString::fromUtf8(error->message));
}

void UpnpMediaRenderer::setUri(const QString &url, const QString &title, const QString &mimeType)
{
    const QByteArray address = url.toUtf8();
    const QByteArray didl = metadata(url, title, mimeType);
    send(SetUri, m_transport,
         gupnp_service_proxy_action_new("SetAVTransportURI", "InstanceID", G_TYPE_UINT, 0u, "CurrentURI", G_TYPE_STRING,
                                        address.constData(), "CurrentURIMetaData", G_TYPE_STRING, didl.constData(),
                                        nullptr));
}

void UpnpMediaRenderer::play()
{
    send(Play, m_transport,
         gupnp_service_proxy_action_new("Play", "InstanceID", G_TYPE_UINT, 0u, "Speed", G_TYPE_STRING, "1", nullptr));
}

void UpnpMediaRenderer::pause()
{
    send(Pause, m_transport, gupnp_service_proxy_action_new("Pause", "InstanceID", G_TYPE_UINT, 0u, nullptr));
}

void UpnpMediaRenderer::stop()
{
    send(Stop, m_transport, gupnp_service_proxy_action_new("Stop", "InstanceID", G_TYPE_UINT, 0u, nullptr));
}

void UpnpMediaRenderer::seek(const QString &target)
{
    const QByteArray time = target.toLatin1();
    send(Seek, m_transport,
         gupnp_service_proxy_action_new("Seek", "InstanceID", G_TYPE_UINT, 0u, "Unit", G_TYPE_STRING, "REL_TIME",
                                        "Target", G_TYPE_STRING, time.constData(), nullptr));
}

void UpnpMediaRenderer::setVolume(int volume)
{
    if (!m_rendering) { // nothing to set it on: done
        QMetaObject::invokeMethod(
            this, [this] { emit finished(SetVolume, true, false, QString()); }, Qt::QueuedConnection);
        return;
    }
    send(SetVolume, m_rendering,
         gupnp_service_proxy_action_new("SetVolume", "InstanceID", G_TYPE_UINT, 0u, "Channel", G_TYPE_STRING, "Master",
                                        "DesiredVolume", G_TYPE_UINT, guint(qBound(0, volume, 100)), nullptr));
}

void UpnpMediaRenderer::queryPosition()
{
    send(QueryPosition, m_transport,
         gupnp_service_proxy_action_new("GetPositionInfo", "InstanceID", G_TYPE_UINT, 0u, nullptr));
}

void UpnpMediaRenderer::queryTransport()
{
    send(QueryTransport, m_transport,
         gupnp_service_proxy_action_new("GetTransportInfo", "InstanceID", G_TYPE_UINT, 0u, nullptr));
}

void UpnpMediaRenderer::cancelAll()
{
    g_cancellable_cancel(m_cancellable);
    g_object_unref(m_cancellable);
    m_cancellable = g_cancellable_new();
}
