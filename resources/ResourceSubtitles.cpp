#include "resources/ResourceSubtitles.h"

#include "app/AtomicFile.h"
#include "resources/AddressResolution.h"
#include "service/Endpoints.h"
#include "service/ServiceClient.h"
#include "service/ServiceReply.h"

#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTemporaryDir>
#include <QTextCodec>

namespace {
Q_LOGGING_CATEGORY(lcSubtitles, "pelorin.subtitles")

// A name from the resource, reduced to one harmless file name.
QString safeName(const QString &path)
{
    QString name = QFileInfo(QString(path).replace(QLatin1Char('\\'), QLatin1Char('/'))).fileName();
    if (name.isEmpty() || name.startsWith(QLatin1Char('.')))
        name.prepend(QStringLiteral("subtitle"));
    return name;
}
bool decodes(const char *codecName, const QByteArray &data, QString *text)
{
    QTextCodec *codec = QTextCodec::codecForName(codecName);
    if (!codec)
        return false;
    QTextCodec::ConverterState state(QTextCodec::ConvertInvalidToNull);
    *text = codec->toUnicode(data.constData(), data.size(), &state);
    return state.invalidChars == 0 && state.remainingChars == 0;
}
} // namespace

QByteArray ResourceSubtitles::readableText(const QByteArray &data, const QString &language)
{
    if (data.startsWith("\xff\xfe") || data.startsWith("\xfe\xff"))
        return data;
    QString text;
    if (decodes("UTF-8", data, &text))
        return data;
    const QString tag = language.toLower();
    const bool simplified = tag == QLatin1String("chs") || tag == QLatin1String("chi") || tag == QLatin1String("zh");
    const bool traditional = tag == QLatin1String("cht");
    if ((traditional && decodes("Big5", data, &text)) || ((simplified || traditional) && decodes("GB18030", data, &text)))
        return text.toUtf8();
    return data;
}

ResourceSubtitles::ResourceSubtitles(ServiceClient *client, QObject *parent)
    : QObject(parent)
    , m_client(client)
{
}

ResourceSubtitles::~ResourceSubtitles()
{
    cancel();
}

void ResourceSubtitles::cancel()
{
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
        m_reply->deleteLater();
    }
    m_reply = nullptr;
    m_video = BTResourceFile();
    m_rank = -1;
    m_parts.clear();
}

void ResourceSubtitles::load(const BTResourceFile &video, const QString &host)
{
    cancel();
    if (video.subtitles.isEmpty() || host.isEmpty())
        return;
    if (!m_folder) {
        m_folder = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/pelorin-subtitles-XXXXXX"));
        if (!m_folder->isValid()) {
            qCWarning(lcSubtitles) << "no folder for subtitles:" << m_folder->errorString();
            m_folder.reset();
            return;
        }
    }
    m_video = video;
    m_host = host;
    next();
}

void ResourceSubtitles::next()
{
    ++m_rank;
    m_parts.clear();
    m_part = 0;
    if (m_rank >= m_video.subtitles.size()) {
        m_video = BTResourceFile();
        m_rank = -1;
        return;
    }
    const ResourceSubtitle &subtitle = m_video.subtitles[m_rank];
    // A folder per subtitle: names may repeat across the resource's folders, and a VobSub's two
    // files must share their stem.
    const QString folder = m_folder->filePath(QString::number(++m_folders));
    QDir().mkpath(folder);
    const auto part = [&](quint32 index, const QString &name, quint64 size) {
        Part p;
        p.file.resourceHash = m_video.resourceHash;
        p.file.resourceIndex = index;
        p.file.fileName = name;
        p.file.fileSize = size;
        p.path = QDir(folder).filePath(safeName(name));
        m_parts.append(p);
    };
    part(subtitle.index, subtitle.name, subtitle.fileSize);
    if (subtitle.subIndex >= 0) {
        const QString stem = QFileInfo(subtitle.name).completeBaseName();
        const QString dir = subtitle.name.left(subtitle.name.size() - QFileInfo(subtitle.name).fileName().size());
        part(quint32(subtitle.subIndex), dir + stem + QStringLiteral(".sub"), 0);
    }
    resolveFirst();
}

void ResourceSubtitles::resolveFirst()
{
    request(Endpoints::fileHash(m_parts[m_part].file, localMacAddress()), &ResourceSubtitles::fileHashed);
}

void ResourceSubtitles::request(const ServiceRequest &request, void (ResourceSubtitles::*then)(const ServiceReply &))
{
    QNetworkReply *reply = m_client->send(request);
    if (!reply)
        return failed(QStringLiteral("no request"));
    m_reply = reply;
    connect(reply, &QNetworkReply::finished, this, [this, reply, then] {
        reply->deleteLater();
        m_reply = nullptr;
        (this->*then)(ServiceClient::decode(reply));
    });
}

void ResourceSubtitles::fileHashed(const ServiceReply &reply)
{
    if (!reply.succeeded())
        return failed(reply.failureText());
    Part &part = m_parts[m_part];
    AddressResolution::applyFileHash(&part.file, reply);
    request(Endpoints::fileInfo(part.file, 0, false, localMacAddress()), &ResourceSubtitles::fileResolved);
}

void ResourceSubtitles::fileResolved(const ServiceReply &reply)
{
    if (!reply.succeeded())
        return failed(reply.failureText());
    AddressResolution::applyFileInfo(&m_parts[m_part].file, reply);
    download();
}

void ResourceSubtitles::download()
{
    const Part &part = m_parts[m_part];
    QNetworkRequest request(QUrl(AddressResolution::playAddress(m_host, part.file.code)));
    request.setRawHeader("Cookie", part.file.comCookie.toUtf8());
    request.setHeader(QNetworkRequest::UserAgentHeader, m_client->userAgent());
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setTransferTimeout(m_client->transferTimeout());
    m_data.clear();
    QNetworkReply *reply = m_client->manager()->get(request);
    m_reply = reply;
    connect(reply, &QNetworkReply::readyRead, this, [this, reply] {
        m_data += reply->readAll();
        if (m_data.size() > MaxBytes) {
            reply->disconnect(this);
            reply->abort();
            reply->deleteLater();
            m_reply = nullptr;
            failed(QStringLiteral("larger than %1 bytes").arg(MaxBytes));
        }
    });
    connect(reply, &QNetworkReply::finished, this, &ResourceSubtitles::downloadFinished);
}

void ResourceSubtitles::downloadFinished()
{
    QNetworkReply *reply = m_reply;
    m_reply = nullptr;
    if (!reply)
        return;
    reply->deleteLater();
    m_data += reply->readAll();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (reply->error() != QNetworkReply::NoError || status != 200 || m_data.isEmpty() || m_data.size() > MaxBytes)
        return failed(QStringLiteral("download: %1 (HTTP %2)").arg(reply->errorString()).arg(status));
    // A VobSub's pictures (.sub) are not text.
    const bool text = m_video.subtitles[m_rank].subIndex < 0;
    if (text)
        m_data = readableText(m_data, m_video.subtitles[m_rank].language);
    if (!AtomicFile::write(m_parts[m_part].path, m_data))
        return failed(QStringLiteral("could not write %1").arg(m_parts[m_part].path));
    m_data.clear();
    if (++m_part < m_parts.size())
        return resolveFirst();
    emit downloaded(m_video, m_rank, m_video.subtitles[m_rank], m_parts.first().path);
    if (m_rank >= 0) // not cancelled by a receiver
        next();
}

void ResourceSubtitles::failed(const QString &why)
{
    qCWarning(lcSubtitles).noquote() << "subtitle" << m_parts.value(m_part).file.fileName << "not loaded:" << why;
    m_data.clear();
    next();
}
