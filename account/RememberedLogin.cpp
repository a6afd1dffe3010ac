#include "account/RememberedLogin.h"

#include <QDataStream>
#include <QFile>
#include <QSaveFile>

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
    QSaveFile file(fileName());
    if (!file.open(QIODevice::WriteOnly))
        return false;
    // Before any byte is written: no moment in which others could read the password.
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    QDataStream out(&file);
    out << scrambleUserData(name.toUtf8());
    if (!password.isEmpty())
        out << scrambleUserData(password.toUtf8());
    if (out.status() != QDataStream::Ok) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
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
