#include "resources/CastSession.h"

#include "player/MediaRenderer.h"
#include "player/PlaybackController.h"
#include "player/RendererDiscovery.h"
#include "player/RendererEngine.h"
#include "player/RendererModule.h"
#include "resources/PlayRequest.h"
#include "resources/PlaySession.h"

#include <QPointer>

#include <utility>

CastSession::CastSession(PlayRequest *request, PlaybackController *playback, PlaySession *session,
                         RendererModule *module, QObject *parent)
    : QObject(parent)
    , m_request(request)
    , m_playback(playback)
    , m_session(session)
    , m_module(module)
{
    m_searchLimit.setSingleShot(true);
    m_searchLimit.setInterval(SearchLimitMs);
    connect(&m_searchLimit, &QTimer::timeout, this, &CastSession::devicesChanged);
    connect(module, &RendererModule::ready, this, &CastSession::useDiscovery);
    connect(module, &RendererModule::failed, this, &CastSession::devicesChanged);
    if (module->discovery())
        useDiscovery(module->discovery());

    // The file set aside locally is no longer the one on the renderer once that one closes
    // (stopped, ended, or left for another file).
    connect(playback, &PlaybackController::closed, this, [this] {
        if (isCasting())
            m_playback->closeSetAsideMedia();
        else
            clearOffer();
    });
    connect(playback, &PlaybackController::opened, this, [this] {
        if (!isCasting())
            clearOffer();
    });
    connect(playback, &PlaybackController::resumeRequested, this, [this] {
        if (m_offer.active)
            playLocally();
    });
}

CastSession::~CastSession() = default;

void CastSession::useDiscovery(RendererDiscovery *discovery)
{
    if (m_discovery)
        return;
    m_discovery = discovery;
    connect(discovery, &RendererDiscovery::deviceFound, this, &CastSession::devicesChanged);
    connect(discovery, &RendererDiscovery::deviceLost, this, &CastSession::devicesChanged);
    if (m_searched)
        discovery->search();
}

void CastSession::search()
{
    m_searched = true;
    m_searchLimit.start();
    if (m_discovery)
        m_discovery->search();
    else
        m_module->load();
    emit devicesChanged();
}

CastSession::SearchState CastSession::searchState() const
{
    if (!devices().isEmpty())
        return Found;
    if (m_module->hasFailed())
        return Unavailable;
    if (!m_searched)
        return NotSearched;
    return m_searchLimit.isActive() ? Searching : NothingFound;
}

QList<RendererDevice> CastSession::devices() const
{
    return m_discovery ? m_discovery->devices() : QList<RendererDevice>();
}

bool CastSession::canCast() const
{
    return isCasting() || m_session->hasFile();
}

bool CastSession::castTo(const QString &id)
{
    if (!m_discovery || m_request->isBusy() || !canCast())
        return false;
    if (isCasting() && id == m_id)
        return true;
    BTResourceFile file = m_session->currentFile();
    const bool playing = m_session->hasFile();
    const int position = m_playback->position();
    if (playing)
        m_session->saveNow();
    if (isCasting())
        leaveRenderer();
    MediaRenderer *renderer = m_discovery->connectTo(id, nullptr);
    if (!renderer) {
        if (playing)
            offerLocal(file, position, tr("投屏失败：设备已不在网络上"));
        return false;
    }
    clearOffer();
    auto *engine = new RendererEngine(renderer, this);
    connect(engine, &RendererEngine::failed, this,
            [this, engine](const QString &text, int at) { onFailed(engine, text, at); });
    m_engine = engine;
    m_id = id;
    m_name = renderer->name();
    m_playback->beginRemote(engine);
    emit castingChanged(true, m_name);
    emit notice(tr("正在投屏到 %1").arg(m_name), tr("停止投屏"));
    if (!playing)
        return true; // chosen before anything plays: the next file goes there

    // The play path's last word says why it failed before the renderer had the address.
    QString lastText;
    const auto said =
        connect(m_request, &PlayRequest::stateText, this, [&lastText](const QString &text) { lastText = text; });
    QPointer<RendererEngine> guard(engine);
    const bool opened = m_request->playAt(&file, m_request->lastEngineIndex(), false, position);
    disconnect(said);
    if (!opened && guard && m_engine == engine)
        onFailed(engine, tr("投屏失败：%1").arg(lastText.isEmpty() ? tr("未能取得视频地址") : lastText), position);
    return opened;
}

void CastSession::leaveRenderer()
{
    RendererEngine *engine = std::exchange(m_engine, nullptr);
    if (!engine)
        return;
    engine->disconnect(this);
    m_playback->endRemote();
    engine->closeAndDispose();
    m_id.clear();
    m_name.clear();
    emit castingChanged(false, QString());
    emit notice(QString(), QString());
}

void CastSession::stopCasting()
{
    if (!isCasting())
        return;
    const bool playing = m_session->hasFile();
    const BTResourceFile file = m_session->currentFile();
    const int position = m_playback->position();
    if (playing)
        m_session->saveNow(); // the renderer's position is the one kept
    leaveRenderer();
    if (!playing)
        return;
    if (m_playback->isMediaOpen()) { // the same file, paused here since the cast began
        m_playback->seek(position);
        m_playback->play();
        return;
    }
    if (m_request->isBusy()) { // another play is under way: it is only offered
        offerLocal(file, position, tr("投屏已停止"));
        return;
    }
    offerLocal(file, position, QString());
    playLocally();
}

void CastSession::onFailed(RendererEngine *engine, const QString &text, int positionMs)
{
    if (engine != m_engine)
        return;
    const BTResourceFile file = m_session->currentFile();
    m_engine = nullptr;
    m_id.clear();
    m_name.clear();
    engine->disconnect(this);
    m_playback->endRemote();
    engine->deleteLater();
    emit castingChanged(false, QString());
    offerLocal(file, positionMs, text);
}

void CastSession::offerLocal(const BTResourceFile &file, int positionMs, const QString &text)
{
    m_offer = {true, file, positionMs};
    // The local media, if it is still there, is the same file: it waits, paused, at that place.
    if (m_playback->isMediaOpen())
        m_playback->seek(positionMs);
    else
        m_playback->offerResume(positionMs);
    emit notice(text, text.isEmpty() ? QString() : tr("本地播放"));
}

void CastSession::clearOffer()
{
    if (!m_offer.active)
        return;
    m_offer = Offer();
    if (!isCasting())
        emit notice(QString(), QString());
}

void CastSession::playLocally()
{
    if (!m_offer.active || isCasting())
        return;
    BTResourceFile file = m_offer.file;
    const int position = m_offer.positionMs;
    clearOffer();
    if (m_playback->isMediaOpen()) {
        m_playback->play();
        return;
    }
    if (!m_request->isBusy() && !file.resourceHash.isEmpty())
        m_request->playAt(&file, m_request->lastEngineIndex(), false, position);
}

void CastSession::followNoticeLink()
{
    if (isCasting())
        stopCasting();
    else
        playLocally();
}
