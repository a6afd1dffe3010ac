#pragma once

#include "player/MediaRenderer.h"
#include "player/upnp/GUPnP.h"

#include <QString>

// One renderer's AVTransport (and RenderingControl, where it has one) through GUPnP: every call
// asynchronous on the GLib main context the window's event loop runs.
class UpnpMediaRenderer : public MediaRenderer
{
    Q_OBJECT

public:
    // Takes one reference of each service; rendering may be null.
    UpnpMediaRenderer(const QString &name, GUPnPServiceProxy *transport, GUPnPServiceProxy *rendering,
                      QObject *parent = nullptr);
    ~UpnpMediaRenderer() override;

    QString name() const override { return m_name; }
    void setUri(const QString &url, const QString &title, const QString &mimeType) override;
    void play() override;
    void pause() override;
    void stop() override;
    void seek(const QString &target) override;
    void setVolume(int volume) override;
    void queryPosition() override;
    void queryTransport() override;
    void cancelAll() override;

    // The DIDL-Lite item describing the address, as SetAVTransportURI's metadata carries it.
    static QByteArray metadata(const QString &url, const QString &title, const QString &mimeType);

private:
    struct Call;
    static void onCallDone(GObject *object, GAsyncResult *result, gpointer data);
    void send(Action action, GUPnPServiceProxy *service, GUPnPServiceProxyAction *call);
    void finish(Call *call, GUPnPServiceProxyAction *answered, GError *error);

    QString m_name;
    GUPnPServiceProxy *m_transport;
    GUPnPServiceProxy *m_rendering;
    GCancellable *m_cancellable;
};
