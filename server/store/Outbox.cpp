#include "server/store/Outbox.h"

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QLocale>
#include <QSaveFile>
#include <QString>

#include <sodium.h>

namespace server {

Outbox::Outbox(std::string directory) : m_directory(std::move(directory)) {}

std::string Outbox::write(const std::string &to, const std::string &subject, const std::string &body,
                          const std::string &fromHost) const
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    unsigned char random[4];
    randombytes_buf(random, sizeof random);
    const QString name = now.toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'")) + QLatin1Char('-')
                         + QString::fromLatin1(QByteArray(reinterpret_cast<const char *>(random), 4).toHex())
                         + QStringLiteral(".eml");
    const QString path = QString::fromStdString(m_directory) + QLatin1Char('/') + name;

    std::string host = fromHost;
    const size_t colon = host.find(':');
    if (colon != std::string::npos)
        host.resize(colon);
    if (host.empty())
        host = "localhost";

    QByteArray message;
    message += "From: Pelorin <no-reply@" + QByteArray::fromStdString(host) + ">\r\n";
    message += "To: <" + QByteArray::fromStdString(to) + ">\r\n";
    message += "Subject: =?UTF-8?B?" + QByteArray::fromStdString(subject).toBase64() + "?=\r\n";
    message += "Date: "
               + QLocale::c().toString(now, QStringLiteral("ddd, dd MMM yyyy HH:mm:ss")).toLatin1()
               + " +0000\r\n";
    message += "MIME-Version: 1.0\r\n";
    message += "Content-Type: text/plain; charset=UTF-8\r\n";
    message += "Content-Transfer-Encoding: 8bit\r\n\r\n";
    message += QByteArray::fromStdString(body);
    if (!message.endsWith("\r\n"))
        message += "\r\n";

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return std::string();
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    if (file.write(message) != message.size() || !file.commit())
        return std::string();
    return path.toStdString();
}

} // namespace server
