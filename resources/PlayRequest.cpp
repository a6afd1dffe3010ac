#include "resources/PlayRequest.h"

#include "account/AccountSession.h"
#include "player/PlaybackController.h"
#include "player/PlayPositionStore.h"
#include "player/PlayerEngine.h"
#include "resources/AddressResolution.h"
#include "resources/HostProbe.h"
#include "resources/VideoDomainList.h"
#include "service/Endpoints.h"
#include "service/ServiceClient.h"

#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QNetworkReply>
#include <QTime>
#include <QUrl>

#include <utility>
#include <vector>

PlayRequest::PlayRequest(ServiceClient *client, AccountSession *session, PlaybackController *playback,
                         QObject *parent)
    : QObject(parent)
    , m_client(client)
    , m_session(session)
    , m_playback(playback)
{
}

QString PlayRequest::cacheFolder()
{
    return QDir::toNativeSeparators(QDir::tempPath() + QStringLiteral("/Pelorin Cache"));
}

void PlayRequest::loadVideoHosts(const QString &fileName)
{
    m_videoHosts = VideoDomainList::load(m_client, fileName);
}

void PlayRequest::enterBusyState()
{
    m_busy = true;
    emit busyChanged(true);
    // Every step of an operation may wait on the network: the user can end it at any of them.
    emit abortableChanged(true);
}

void PlayRequest::leaveBusyState()
{
    m_busy = false;
    emit abortableChanged(false);
    emit busyChanged(false);
}

ServiceReply PlayRequest::callService(const ServiceRequest &request)
{
    QNetworkReply *reply = m_client->send(request);
    if (!reply)
        return ServiceReply::networkFailure();
    bool aborted = false;
    m_waitingForService = true;
    const auto link = connect(this, &PlayRequest::probeAborted, reply, [&aborted, reply] {
        aborted = true;
        reply->abort();
    });
    ServiceClient::waitForReply(reply);
    disconnect(link);
    m_waitingForService = false;
    const ServiceReply outcome = aborted ? ServiceReply::aborted() : ServiceClient::decode(reply);
    reply->deleteLater();
    return outcome;
}

void PlayRequest::abortProbe()
{
    emit probeAborted();
}

ServiceReply PlayRequest::listFiles(const QString &resourceHash, QList<BTResourceFile> *files)
{
    enterBusyState();
    const ServiceReply reply = callService(Endpoints::fileList(resourceHash));
    if (reply.succeeded()) {
        *files = AddressResolution::filesFromReply(resourceHash, reply);
        emit filesListed(resourceHash, *files);
    }
    leaveBusyState();
    return reply;
}

void PlayRequest::showState(const TextSource &text)
{
    m_stateText = text;
    emit stateText(currentStateText());
}

QString PlayRequest::currentStateText() const
{
    return m_stateText ? m_stateText() : QString();
}

bool PlayRequest::resolveFileHash(BTResourceFile *file)
{
    showState([] { return tr("正在解析视频文件hash值..."); });
    const ServiceReply reply = callService(Endpoints::fileHash(*file, localMacAddress()));
    if (reply.succeeded()) {
        AddressResolution::applyFileHash(file, reply);
        showState(nullptr);
        return true;
    }
    if (reply.isEnvelope() && reply.statu() == -11)
        emit vipRequired();
    showState([reply] { return reply.failureText(); });
    leaveBusyState();
    return false;
}

bool PlayRequest::resolveFileInfo(BTResourceFile *file, int engineIndex, bool reload)
{
    showState([] { return tr("正在解析视频文件信息..."); });
    const ServiceReply reply = callService(Endpoints::fileInfo(*file, engineIndex, reload, localMacAddress()));
    if (reply.succeeded()) {
        m_videoHosts.append(AddressResolution::applyFileInfo(file, reply));
        showState(nullptr);
        return true;
    }
    showState([reply] { return reply.failureText(); });
    leaveBusyState();
    return false;
}

bool PlayRequest::resolve(BTResourceFile *file, int engineIndex, bool reload)
{
    enterBusyState();
    // A file that went through the first step already only needs a fresh code.
    if (file->jxhash.isEmpty() && !resolveFileHash(file))
        return false;
    return resolveFileInfo(file, engineIndex, reload);
}

std::unique_ptr<HostProbe> PlayRequest::probeHosts(const BTResourceFile &file, bool play, QString *acceptedUrl,
                                                   bool *aborted)
{
    *aborted = false;
    // Hosts that missed the limit but may still answer, with their addresses; the first of them
    // to answer correctly is taken when no host passes the limit.
    std::vector<std::pair<std::unique_ptr<HostProbe>, QString>> late;
    int lateWinner = -1;
    int latePending = 0;
    QEventLoop *waiting = nullptr;
    HostProbe *current = nullptr;
    const auto link = connect(
        this, &PlayRequest::probeAborted, this,
        [&] {
            *aborted = true;
            if (current)
                current->abort();
            if (waiting)
                waiting->quit();
        },
        Qt::DirectConnection);

    std::unique_ptr<HostProbe> accepted;
    const QStringList hosts = m_videoHosts;
    for (const QString &host : hosts) {
        const QString url = play ? AddressResolution::playAddress(host, file.code)
                                 : AddressResolution::downloadAddress(host, file.code, QTime::currentTime());
        auto probe = std::make_unique<HostProbe>();
        current = probe.get();
        const HostProbe::Outcome outcome =
            probe->run(QUrl(url), play ? file.comCookie.toUtf8() : QByteArray(), file.size, play);
        current = nullptr;
        if (outcome == HostProbe::Aborted || *aborted)
            break;
        if (outcome == HostProbe::Accepted) {
            *acceptedUrl = url;
            accepted = std::move(probe);
            break;
        }
        if (outcome == HostProbe::Late) {
            const int index = int(late.size());
            ++latePending;
            connect(probe.get(), &HostProbe::lateAnswer, this, [&, index](bool correct) {
                --latePending;
                if (correct && lateWinner < 0)
                    lateWinner = index;
                if (waiting && (lateWinner >= 0 || latePending == 0))
                    waiting->quit();
            });
            late.emplace_back(std::move(probe), url);
        }
    }

    if (!accepted && !*aborted) {
        if (lateWinner < 0 && latePending > 0) {
            QEventLoop loop;
            waiting = &loop;
            loop.exec();
            waiting = nullptr;
        }
        if (lateWinner >= 0 && !*aborted) {
            *acceptedUrl = late[size_t(lateWinner)].second;
            accepted = std::move(late[size_t(lateWinner)].first);
            accepted->disconnect(this);
        }
    }
    disconnect(link);
    for (auto &candidate : late) {
        if (candidate.first)
            candidate.first->disconnect(this);
    }
    return accepted;
}

bool PlayRequest::play(BTResourceFile *file, int engineIndex, bool reload)
{
    return playAt(file, engineIndex, reload, KeptPosition);
}

bool PlayRequest::playAt(BTResourceFile *file, int engineIndex, bool reload, int startMs)
{
    m_lastEngineIndex = engineIndex;
    if (!resolve(file, engineIndex, reload))
        return false;

    showState([] { return tr("正在筛选视频文件播放地址..."); });
    AddressResolution::shuffleHosts(&m_videoHosts);
    QString url;
    bool aborted = false;
    // A renderer on the network cannot send the play address's cookie: it gets the address form
    // that carries the code itself.
    const bool remote = m_playback->ensureEngine() && m_playback->engine()->isRemote();
    std::unique_ptr<HostProbe> probe = probeHosts(*file, !remote, &url, &aborted);
    if (!probe) {
        showState(aborted ? TextSource() : [] { return tr("筛选视频文件播放地址失败！"); });
        leaveBusyState();
        return false;
    }

    const QUrl accepted(url);
    m_lastPlayHost = accepted.port() > 0 ? QStringLiteral("%1:%2").arg(accepted.host()).arg(accepted.port()) : accepted.host();
    showState([] { return tr("筛选视频文件播放地址成功，等待播放；如果长时间无法播放，请重试！"); });
    // Looked up only now: the account's positions, asked for when the file list came, are in by then.
    if (startMs == KeptPosition)
        startMs = m_positions ? m_positions->resumePosition(file->resourceHash, file->resourceIndex) : 0;
    const bool opened = openAndWait(*file, url, startMs);
    showState(nullptr);
    leaveBusyState();
    probe->release();
    return opened;
}

bool PlayRequest::openAndWait(const BTResourceFile &file, const QString &url, int startMs)
{
    if (!m_playback->ensureEngine())
        return false;
    PlayerEngine *engine = m_playback->engine();
    if (m_session->vip()) {
        QDir().mkpath(cacheFolder());
        const QString cachePath = cacheFolder() + QDir::separator()
                                  + QStringLiteral("%1_%2").arg(file.resourceHash).arg(file.resourceIndex);
        engine->setConfig(PlayerEngine::CacheFilePath, cachePath);
        engine->setConfig(PlayerEngine::CacheEnabled, QStringLiteral("1"));
    }
    engine->setConfig(PlayerEngine::HttpCookie, file.comCookie);
    engine->setMediaTitle(QFileInfo(file.fileName).fileName());

    // Ends when the media has opened (after it is recorded) or closed without opening.
    // Opening over a media that is still open closes that one first: its close is not ours.
    QEventLoop loop;
    bool done = false;
    bool opening = false;
    bool opened = false;
    const auto started = connect(engine, &PlayerEngine::stateChanged, this, [&](int, int newState) {
        if (newState == PlayerEngine::Opening)
            opening = true;
    });
    const auto openedLink = connect(m_playback, &PlaybackController::opened, this, [&] {
        emit fileOpened(file);
        opened = done = true;
        loop.quit();
    });
    const auto failed = [&] {
        if (!opening)
            return;
        done = true;
        loop.quit();
    };
    const auto closedLink = connect(m_playback, &PlaybackController::closed, this, failed);
    // A failed reopen of a media whose connection was lost stays lost rather than closed.
    const auto lostLink = connect(m_playback, &PlaybackController::connectionLost, this, failed);
    // Playback moved to another engine (a cast began or ended) while this one opened.
    const auto movedLink = connect(m_playback, &PlaybackController::engineChanged, this, [&] {
        done = true;
        loop.quit();
    });
    m_playback->open(url, startMs);
    if (!done)
        loop.exec();
    disconnect(started);
    disconnect(openedLink);
    disconnect(closedLink);
    disconnect(lostLink);
    disconnect(movedLink);
    return opened;
}

bool PlayRequest::resolveDownload(BTResourceFile *file, int engineIndex)
{
    if (!resolve(file, engineIndex, false))
        return false;

    showState([] { return tr("正在筛选视频文件下载地址..."); });
    QString url;
    bool aborted = false;
    std::unique_ptr<HostProbe> probe = probeHosts(*file, false, &url, &aborted);
    const bool accepted = probe != nullptr;
    if (accepted)
        file->downloadUrl = url;
    else
        showState(aborted ? TextSource() : [] { return tr("解析视频文件下载地址失败！"); });
    leaveBusyState();
    return accepted;
}
