#include "account/AccountSession.h"

#include "account/LoginReply.h"
#include "account/RememberedLogin.h"
#include "app/AppConfig.h"
#include "service/Endpoints.h"
#include "service/ServiceClient.h"

#include <QNetworkReply>

AccountSession::AccountSession(ServiceClient *client, QObject *parent)
    : QObject(parent)
    , m_client(client)
{
}

bool AccountSession::wantsClipboardMonitor() const
{
    return m_loggedIn && AppConfig::clipboardMonitor() == 1;
}

QString AccountSession::vipDateText() const
{
    return m_vipDate.isValid() ? LoginReply::dateText(m_vipDate) : QString();
}

ServiceReply AccountSession::logIn(const QString &name, const QString &password, bool rememberPassword)
{
    const ServiceReply reply = m_client->call(Endpoints::login(name, password));
    if (!reply.succeeded())
        return reply;
    const QVariantMap data = reply.data().toMap();
    m_loggedIn = true;
    m_vip = LoginReply::isVip(data);
    m_permanentVip = LoginReply::isPermanentVip(data);
    m_userName = name;
    m_vipDate = LoginReply::vipDate(data);
    RememberedLogin::write(name, rememberPassword ? password : QString());
    emit loginChanged(true);
    return reply;
}

ServiceReply AccountSession::logOut()
{
    const ServiceReply reply = m_client->call(Endpoints::logout());
    if (reply.succeeded()) {
        // The flags keep their values: the service is what refuses a logged-out session.
        RememberedLogin::remove();
        emit loginChanged(false);
    }
    return reply;
}

ServiceReply AccountSession::changePassword(const QString &old, const QString &fresh, const QString &again)
{
    const ServiceReply reply = m_client->call(Endpoints::changePassword(old, fresh, again));
    if (reply.succeeded())
        RememberedLogin::remove(); // the user logs in again with the new one
    return reply;
}

ServiceReply AccountSession::retrievePassword(const QString &email)
{
    return m_client->call(Endpoints::retrievePassword(email));
}

ServiceReply AccountSession::signUp(const QString &captcha, const QString &email, const QString &password,
                                    const QString &again)
{
    return m_client->call(Endpoints::signUp(captcha, email, password, again, RememberedLogin::unionUid()));
}

ServiceReply AccountSession::fetchCaptcha(QByteArray *image)
{
    image->clear();
    QNetworkReply *reply = m_client->send(Endpoints::captcha());
    ServiceClient::waitForReply(reply);
    const bool failed = reply->error() != QNetworkReply::NoError;
    if (!failed)
        *image = reply->readAll();
    reply->deleteLater();
    if (failed)
        return ServiceReply::networkFailure();
    if (image->isEmpty())
        return ServiceReply::badData();
    return ServiceReply::envelope({{QStringLiteral("statu"), 1}});
}

bool AccountSession::remembered(QString *name, QString *password)
{
    return RememberedLogin::read(name, password);
}
