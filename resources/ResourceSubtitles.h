#pragma once

#include "resources/BTResourceFile.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>

class QNetworkReply;
class QTemporaryDir;
class ServiceClient;
class ServiceReply;
struct ServiceRequest;

// Fetches the subtitle files the service matched to the file that just opened: each goes the
// video's two service steps (with its own index and size) and is then downloaded from the video's
// host with its cookie, at most MaxBytes, into a private folder that goes when this object goes
// (at exit). Downloaded files are announced one by one, best match first; nothing here blocks,
// and a subtitle that fails is only logged.
class ResourceSubtitles : public QObject
{
    Q_OBJECT

public:
    // The service lists none larger; anything larger is not a subtitle.
    static constexpr qint64 MaxBytes = 8 * 1024 * 1024;

    explicit ResourceSubtitles(ServiceClient *client, QObject *parent = nullptr);
    ~ResourceSubtitles() override;

    // Starts on the video's subtitles, host being the video host that serves the video ("name:port");
    // what is still running for an earlier file ends.
    void load(const BTResourceFile &video, const QString &host);
    void cancel();

    // The text of a subtitle file as the engine reads it best: UTF-8 and UTF-16 (with its mark) as
    // they are; other bytes of a Chinese-tagged file are GB18030 (simplified) or Big5 (traditional,
    // GB18030 when Big5 does not fit) made UTF-8, since the engine's detection guesses wrong on
    // files of a few lines. Anything else is left to the engine's detection.
    static QByteArray readableText(const QByteArray &data, const QString &language);

signals:
    // One subtitle is on disk: rank is its place in the video's list.
    void downloaded(const BTResourceFile &video, int rank, const ResourceSubtitle &subtitle, const QString &path);

private:
    struct Part
    {
        BTResourceFile file; // the subtitle as the service steps fill it
        QString path;        // where it is written
    };
    void next();
    void resolveFirst();
    void request(const ServiceRequest &request, void (ResourceSubtitles::*then)(const ServiceReply &));
    void fileHashed(const ServiceReply &reply);
    void fileResolved(const ServiceReply &reply);
    void download();
    void downloadFinished();
    void failed(const QString &why);

    ServiceClient *m_client;
    std::unique_ptr<QTemporaryDir> m_folder;
    BTResourceFile m_video;
    QString m_host;
    int m_rank = -1;           // the subtitle being fetched
    QList<Part> m_parts;       // its files: one, or a VobSub's .idx and .sub
    int m_part = 0;
    QPointer<QNetworkReply> m_reply;
    QByteArray m_data;
    int m_folders = 0;
};
