#pragma once

#include "player/RendererDevice.h"
#include "resources/BTResourceFile.h"

#include <QList>
#include <QObject>
#include <QTimer>

class PlaybackController;
class PlayRequest;
class PlaySession;
class RendererDiscovery;
class RendererEngine;
class RendererModule;

// Playing on a renderer of the home network: the search for renderers, the hand-over of the open
// file to one of them (a fresh resolution through the normal play path, at the local position)
// and back, and what is offered when the renderer fails. While a renderer plays, the playback
// controller drives it, so the tool bar, the play records, the kept position and the next
// episode work as they do locally. The renderer stays chosen until casting is stopped or fails:
// what is played meanwhile goes to it.
class CastSession : public QObject
{
    Q_OBJECT

public:
    // Without an answer for this long, the search says it found nothing.
    static constexpr int SearchLimitMs = 5000;

    enum SearchState { NotSearched, Searching, Found, NothingFound, Unavailable };

    CastSession(PlayRequest *request, PlaybackController *playback, PlaySession *session, RendererModule *module,
                QObject *parent = nullptr);
    ~CastSession() override;

    // Starts the search (opening the casting module first if need be), or asks again.
    void search();
    SearchState searchState() const;
    QList<RendererDevice> devices() const;

    // A file is open to be handed over (or a renderer is playing already).
    bool canCast() const;
    bool isCasting() const { return m_engine != nullptr; }
    QString rendererId() const { return m_id; }
    QString rendererName() const { return m_name; }

    // Hands the open file to the renderer at the current position and waits until it plays
    // (true) or that failed (the notice says why).
    bool castTo(const QString &id);
    // Back to local playback at the renderer's position.
    void stopCasting();
    // After a failure: local playback at the last known position.
    void playLocally();
    // The notice's link: stop casting, or play here after a failure.
    void followNoticeLink();

signals:
    void devicesChanged();
    void castingChanged(bool casting, const QString &name);
    // A lasting text over the video ("正在投屏到 NAME", a failure) with its link's text; an empty
    // text hides it.
    void notice(const QString &text, const QString &linkText);

private:
    void useDiscovery(RendererDiscovery *discovery);
    void onFailed(RendererEngine *engine, const QString &text, int positionMs);
    // Stops the renderer and takes the local engine back, its media as it was left.
    void leaveRenderer();
    void offerLocal(const BTResourceFile &file, int positionMs, const QString &text);
    void clearOffer();

    PlayRequest *m_request;
    PlaybackController *m_playback;
    PlaySession *m_session;
    RendererModule *m_module;
    RendererDiscovery *m_discovery = nullptr;
    QTimer m_searchLimit;
    bool m_searched = false;
    RendererEngine *m_engine = nullptr;
    QString m_id;
    QString m_name;
    struct Offer
    {
        bool active = false;
        BTResourceFile file;
        int positionMs = 0;
    };
    Offer m_offer;
};
