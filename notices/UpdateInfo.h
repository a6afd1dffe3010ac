#pragma once

#include <QByteArray>
#include <QString>

class ServiceReply;

// What the service says about the current version: its number, release notes, the package address
// and, when the service gives one, the package's SHA-256.
class UpdateInfo
{
public:
    // Empty (no version) unless the reply is a successful envelope.
    static UpdateInfo fromReply(const ServiceReply &reply);

    // Another version is current exactly when the service names one that differs as text: no
    // ordering, so a lower or malformed version counts too.
    bool differsFrom(const QString &currentVersion) const;
    // The file name the package is saved under: the address's text after its last "/".
    QString packageFileName() const;

    QString serverVersion;
    QString description;
    QString downloadUrl; // percent-decoded
    QByteArray sha256;   // lowercase hexadecimal, empty when the service gives none
};
