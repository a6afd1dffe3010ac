#pragma once

#include <QObject>
#include <QString>

// One media renderer's transport and volume, as the renderer's own protocol offers them. Every
// call returns at once; its outcome arrives through the signals. Calls may overlap on the wire,
// so whoever needs an order waits for each outcome before the next call (RendererEngine does).
class MediaRenderer : public QObject
{
    Q_OBJECT

public:
    enum Action { SetUri, Play, Pause, Stop, Seek, SetVolume, QueryPosition, QueryTransport };
    Q_ENUM(Action)

    explicit MediaRenderer(QObject *parent = nullptr);
    ~MediaRenderer() override;

    virtual QString name() const = 0;
    // The address the renderer fetches, with its title and MIME type for the item's metadata.
    virtual void setUri(const QString &url, const QString &title, const QString &mimeType) = 0;
    virtual void play() = 0;
    virtual void pause() = 0;
    virtual void stop() = 0;
    // "H:MM:SS" from the start of the item.
    virtual void seek(const QString &target) = 0;
    // 0..100.
    virtual void setVolume(int volume) = 0;
    virtual void queryPosition() = 0;
    virtual void queryTransport() = 0;
    // Gives up every call under way; none of them reports any more.
    virtual void cancelAll() = 0;

signals:
    // A call ended: ok, refused by the renderer (error holds its words), or without an answer
    // (unreachable: no connection, or the connection failed).
    void finished(MediaRenderer::Action action, bool ok, bool unreachable, const QString &error);
    // Answers of the two queries (before their finished), as the renderer wrote them.
    void positionInfo(const QString &relativeTime, const QString &duration);
    void transportInfo(const QString &state, const QString &status);
    // The renderer said it leaves the network.
    void lost();
};
