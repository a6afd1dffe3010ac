#pragma once

#include <QByteArray>
#include <QString>

// The remembered credentials in user.dat and the referrer identifier in union_uid.dat, both in the
// working directory. user.dat is a Qt data stream of one or two byte arrays (name, then password
// when remembered), each byte XOR 0x71: a format other versions read, so it stays as it is, but the
// file is readable by its owner only.
class RememberedLogin
{
public:
    static QString fileName();

    static QByteArray scrambleUserData(QByteArray data);

    // Writes the name, and the password unless it is empty. False when the file cannot be written.
    static bool write(const QString &name, const QString &password);
    // False when the file cannot be opened; a missing password reads as empty.
    static bool read(QString *name, QString *password);
    static void remove();

    // The referrer identifier for sign-up: the raw content of union_uid.dat, or "0".
    static QByteArray unionUid();
};
