#include "account/RememberedLogin.h"

#include "app/AtomicFile.h"

#include <QDataStream>
#include <QFile>

QString RememberedLogin::fileName()
{
    return QStringLiteral("user.dat");
}

QByteArray RememberedLogin::scrambleUserData(QByteArray data)
{
    for (char &byte : data)
        byte = char(byte ^ 0x71);
    return data;
}

bool RememberedLogin::write(const QString &name, const QString &password)
{
    QByteArray content;
    QDataStream out(&content, QIODevice::WriteOnly);
    out << scrambleUserData(name.toUtf8());
    if (!password.isEmpty())
        out << scrambleUserData(password.toUtf8());
    // Owner-only before any byte is written: no moment in which others could read the password.
    return AtomicFile::write(fileName(), content, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

bool RememberedLogin::read(QString *name, QString *password)
{
    QFile file(fileName());
    if (!file.open(QIODevice::ReadOnly))
        return false;
    QDataStream in(&file);
    QByteArray first;
    QByteArray second;
    in >> first >> second;
    *name = QString::fromUtf8(scrambleUserData(first));
    *password = QString::fromUtf8(scrambleUserData(second));
    return true;
}

void RememberedLogin::remove()
{
    QFile::remove(fileName());
}

QByteArray RememberedLogin::unionUid()
{
    QFile file(QStringLiteral("union_uid.dat"));
    if (!file.open(QIODevice::ReadOnly))
        return QByteArrayLiteral("0");
    return file.readAll();
}
