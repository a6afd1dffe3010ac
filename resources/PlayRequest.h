#pragma once

#include "resources/BTResourceFile.h"
#include "service/ServiceRequest.h"

#include <QObject>
#include <QStringList>

#include <functional>
#include <memory>

class AccountSession;
class HostProbe;
class PlaybackController;
class PlayPositionStore;
class ServiceClient;
class ServiceReply;

// The road from a resource to a playing file or a download address: the file list, the two
// resolution steps, the probe of the video hosts, the open in the engine and the wait for it. One
// operation at a time (the busy state); the parse page renders what it announces.
class PlayRequest : public QObject
{
    Q_OBJECT

public:
    PlayRequest(ServiceClient *client, AccountSession *session, PlaybackController *playback,
                QObject *parent = nullptr);

    // Today's video hosts (see VideoDomainList); each resolution adds the host its reply names.
    void loadVideoHosts(const QString &fileName = QStringLiteral("VideoDomain"));
    QStringList videoHosts() const { return m_videoHosts; }
    void setVideoHosts(const QStringList &hosts) { m_videoHosts = hosts; }

    bool isBusy() const { return m_busy; }
    // A step waits for the service's answer (an abort then ends only that wait).
    bool isWaitingForService() const { return m_waitingForService; }
    void enterBusyState();
    void leaveBusyState();

    // The video files of a resource; busy while the service answers.
    ServiceReply listFiles(const QString &resourceHash, QList<BTResourceFile> *files);

    // Resolves, probes and opens the file, and waits until it opened (fileOpened is emitted then,
    // and true returned) or the engine gave up. The file keeps what the steps filled in, so that
    // a second play skips the first step.
    // Starts where the file was left when the position store keeps a position for it.
    bool play(BTResourceFile *file, int engineIndex, bool reload);
    // The same, starting at startMs (0: the beginning, KeptPosition: where the store says): to
    // reopen a file where it was.
    static constexpr int KeptPosition = -1;
    bool playAt(BTResourceFile *file, int engineIndex, bool reload, int startMs);
    // The engine index of the last play, for plays that follow it (the next episode).
    int lastEngineIndex() const { return m_lastEngineIndex; }
    // The video host ("name:port") the last opened file plays from.
    QString lastPlayHost() const { return m_lastPlayHost; }
    // Where play() looks up kept positions; none by default.
    void setPositionStore(PlayPositionStore *positions) { m_positions = positions; }
    // Resolves and probes for a download address (file->downloadUrl); false when there is none.
    bool resolveDownload(BTResourceFile *file, int engineIndex);

    // Tries the video hosts in order until one passes the probe's limit; when none does, the
    // first that answered correctly within HostProbe::LateLimitMs. Null when there is none (or
    // the user aborted: *aborted). The accepted probe is released by its owner.
    std::unique_ptr<HostProbe> probeHosts(const BTResourceFile &file, bool play, QString *acceptedUrl, bool *aborted);

    // The engine cache folder of VIP accounts.
    static QString cacheFolder();

    // The last state text, in the interface language of the moment.
    QString currentStateText() const;

public slots:
    // Ends the running service step or probe as aborted.
    void abortProbe();

signals:
    // The parse page's state text.
    void stateText(const QString &text);
    // The parse button turns into "中止" while an operation runs (service steps, probe, open).
    void abortableChanged(bool abortable);
    void busyChanged(bool busy);
    // The service refused the file to an account without VIP.
    void vipRequired();
    // The resource's video files as the service listed them.
    void filesListed(const QString &resourceHash, const QList<BTResourceFile> &files);
    // The media opened; the play records take the file now.
    void fileOpened(const BTResourceFile &file);
    void probeAborted();

private:
    // Makes a state text in the language in force when it is asked for.
    using TextSource = std::function<QString()>;
    void showState(const TextSource &text);
    // Sends and waits for the answer; an abort ends the wait with ServiceReply::aborted().
    ServiceReply callService(const ServiceRequest &request);
    bool resolveFileHash(BTResourceFile *file);
    bool resolveFileInfo(BTResourceFile *file, int engineIndex, bool reload);
    bool resolve(BTResourceFile *file, int engineIndex, bool reload);
    bool openAndWait(const BTResourceFile &file, const QString &url, int startMs);

    ServiceClient *m_client;
    AccountSession *m_session;
    PlaybackController *m_playback;
    QStringList m_videoHosts;
    bool m_busy = false;
    bool m_waitingForService = false;
    int m_lastEngineIndex = 0;
    QString m_lastPlayHost;
    PlayPositionStore *m_positions = nullptr;
    TextSource m_stateText;
};
