#include "service/ServiceClient.h"

#include "app/AppConfig.h"
#include "app/Version.h"
#include "service/protocol/RequestSigner.h"

#include <QEventLoop>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkInterface>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace {
// What the platform reports about itself for the User-Agent.
void platformVersion(QString *osName, bool *ia32OnWin64)
{
    *osName = QString();
    *ia32OnWin64 = false;
#ifdef Q_OS_WIN
    OSVERSIONINFOEXW info{};
    info.dwOSVersionInfoSize = sizeof(info);
#pragma warning(suppress : 4996)
    if (GetVersionExW(reinterpret_cast<OSVERSIONINFOW *>(&info))) {
        *osName = ServiceClient::windowsProductName(int(info.dwMajorVersion), int(info.dwMinorVersion),
                                                    info.wProductType == VER_NT_WORKSTATION);
    }
    SYSTEM_INFO system{};
    GetNativeSystemInfo(&system);
    *ia32OnWin64 = system.wProcessorArchitecture == 10;
#endif
}
} // namespace

QString localMacAddress()
{
    const auto wanted = QNetworkInterface::IsUp | QNetworkInterface::IsRunning
                        | QNetworkInterface::CanBroadcast | QNetworkInterface::CanMulticast;
    const auto interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &interface : interfaces) {
        const auto flags = interface.flags();
        if ((flags & wanted) == wanted && !(flags & QNetworkInterface::IsLoopBack))
            return interface.hardwareAddress();
    }
    return QString();
}

ServiceClient::ServiceClient(QObject *parent)
    : QObject(parent)
    , m_manager(new QNetworkAccessManager(this))
{
}

ServiceClient::~ServiceClient() = default;

QString ServiceClient::windowsProductName(int major, int minor, bool workstation)
{
    struct Entry {
        int major;
        int minor; // -1: any
        const char *workstation;
        const char *other;
    };
    static const Entry table[] = {
        {5, 0, "Windows 2000 ", "Windows 2000 "},
        {5, 1, "Windows XP ", "Windows XP "},
        {5, 2, "Windows Server 2003 ", "Windows Server 2003 "},
        {6, 0, "Windows Vista ", "Windows Server 2008 "},
        {6, 1, "Windows 7 ", "Windows Server 2008 "},
        {6, 2, "Windows 8 ", "Windows Server 2012 "},
        {6, 3, "Windows 8.1 ", "Windows Server 2012 "},
        {10, -1, "Windows 10 ", "Windows Server 2016 "},
    };
    for (const Entry &entry : table) {
        if (entry.major == major && (entry.minor == -1 || entry.minor == minor))
            return QLatin1String(workstation ? entry.workstation : entry.other);
    }
    return QString();
}

QByteArray ServiceClient::composeUserAgent(const QString &mac, const QString &osName, bool ia32OnWin64)
{
    QString text = QStringLiteral("SN ") + mac + QLatin1Char('/') + osName;
    text += ia32OnWin64 ? QStringLiteral("x86/") : QStringLiteral("x64/");
    text += QStringLiteral("Pelorin " PELORIN_VERSION_SHORT);
    return text.toUtf8();
}

QString ServiceClient::buildQuery(RequestMethod method, QStringList parameters, bool isSigned)
{
    const QString signature = RequestSigner::sign(parameters);

    // The file name of this step may hold blanks and any letters; it is encoded after signing, so
    // the signature covers the plain name.
    if (method == Get && parameters.contains(QStringLiteral("cs0=lixian_qq"))) {
        for (QString &parameter : parameters) {
            if (parameter.startsWith(QStringLiteral("name="))) {
                parameter = QStringLiteral("name=")
                            + QString::fromLatin1(QUrl::toPercentEncoding(parameter.mid(5)));
                break;
            }
        }
    }

    QString query = parameters.join(QLatin1Char('&'));
    if (isSigned)
        query += QStringLiteral("&sign=") + signature;
    return query;
}

QNetworkReply *ServiceClient::send(RequestMethod method, const QStringList &parameters, bool isSigned)
{
    if (method != Get && method != Post)
        return nullptr;

    QNetworkAccessManager *nam = m_manager;
    QNetworkRequest request;
    request.setRawHeader("X-Requested-With", "XMLHttpRequest");
    // Qt's cookie jar would rewrite the raw Cookie header; the stored value goes out byte for byte.
    request.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    request.setTransferTimeout(m_timeoutMs);

    if (m_cookie.isEmpty()) {
        // The first answer sets the cookie, and it is kept for the life of the channel.
        connect(
            nam, &QNetworkAccessManager::finished, this,
            [this](QNetworkReply *reply) {
                m_cookie = reply->rawHeader("Set-Cookie");
                disconnect(m_manager, &QNetworkAccessManager::finished, this, nullptr);
            },
            Qt::DirectConnection);
    } else {
        request.setRawHeader("Cookie", m_cookie);
    }

    // The first request of the process goes out without a User-Agent of ours.
    if (!m_userAgent.isEmpty()) {
        request.setRawHeader("User-Agent", m_userAgent);
    } else {
        QString osName;
        bool ia32OnWin64 = false;
        platformVersion(&osName, &ia32OnWin64);
        m_userAgent = composeUserAgent(localMacAddress(), osName, ia32OnWin64);
    }

    const QString query = buildQuery(method, parameters, isSigned);
    const QString base = AppConfig::serviceBase();
    if (method == Get) {
        request.setUrl(QUrl(base + QLatin1Char('?') + query, QUrl::TolerantMode));
        return nam->get(request);
    }
    request.setUrl(QUrl(base, QUrl::TolerantMode));
    // Same bytes Qt would choose by itself; set here so that it does not warn on every post.
    request.setHeader(QNetworkRequest::ContentTypeHeader,
                      QByteArrayLiteral("application/x-www-form-urlencoded"));
    return nam->post(request, query.toUtf8());
}

void ServiceClient::waitForReply(QNetworkReply *reply)
{
    if (reply->isFinished())
        return;
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
}

ServiceReply ServiceClient::decode(QNetworkReply *reply)
{
    if (reply->error() != QNetworkReply::NoError)
        return ServiceReply::networkFailure();
    const QJsonDocument document = QJsonDocument::fromJson(reply->readAll());
    if (document.isNull())
        return ServiceReply::badData();
    return ServiceReply::envelope(document.toVariant().toMap());
}

ServiceReply ServiceClient::call(RequestMethod method, const QStringList &parameters, bool isSigned)
{
    QNetworkReply *reply = send(method, parameters, isSigned);
    if (!reply)
        return ServiceReply::networkFailure();
    waitForReply(reply);
    const ServiceReply outcome = decode(reply);
    reply->deleteLater();
    return outcome;
}
