#pragma once

#include "service/ServiceReply.h"

#include <QDate>
#include <QObject>
#include <QString>

class ServiceClient;

// The login state of the running program and the account operations on the service. The account
// dialog is its view; everything else reads the flags here.
class AccountSession : public QObject
{
    Q_OBJECT

public:
    explicit AccountSession(ServiceClient *client, QObject *parent = nullptr);

    bool loggedIn() const { return m_loggedIn; }
    bool vip() const { return m_vip; }
    bool permanentVip() const { return m_permanentVip; }
    QString userName() const { return m_userName; }
    // In the interface language of the moment.
    QString vipDateText() const;
    // The clipboard monitor runs while someone is logged in and the setting is on.
    bool wantsClipboardMonitor() const;

    // On success the flags are set and user.dat keeps the name (and the password when remembered).
    ServiceReply logIn(const QString &name, const QString &password, bool rememberPassword);
    // On success user.dat is gone and loginChanged(false) is emitted; the flags keep their values.
    ServiceReply logOut();
    // On success user.dat is forgotten.
    ServiceReply changePassword(const QString &old, const QString &fresh, const QString &again);
    ServiceReply retrievePassword(const QString &email);
    ServiceReply signUp(const QString &captcha, const QString &email, const QString &password, const QString &again);
    // The captcha image bytes in *image; a network failure, or bad data for an empty body.
    ServiceReply fetchCaptcha(QByteArray *image);

    // What user.dat remembers; false when there is nothing.
    static bool remembered(QString *name, QString *password);

signals:
    // The clipboard monitor and the VIP-dependent parts follow this.
    void loginChanged(bool loggedIn);

private:
    ServiceClient *m_client;
    bool m_loggedIn = false;
    bool m_vip = false;
    bool m_permanentVip = false;
    QString m_userName;
    QDate m_vipDate;
};
