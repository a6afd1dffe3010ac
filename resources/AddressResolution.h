#pragma once

#include "resources/BTResourceFile.h"

#include <QString>
#include <QStringList>
#include <QTime>

class ServiceReply;

// What the two service steps that turn one video file into an address on a video host answer, and
// the address forms themselves (the requests are in Endpoints).
class AddressResolution
{
public:
    // The files of a successful file-list reply.
    static QList<BTResourceFile> filesFromReply(const QString &resourceHash, const ServiceReply &reply);
    // Fill the file from a successful step; missing members keep what the file list said.
    static void applyFileHash(BTResourceFile *file, const ServiceReply &reply);
    // Fills code and cookie and returns the extra video host the reply names.
    static QString applyFileInfo(BTResourceFile *file, const ServiceReply &reply);

    static QString playAddress(const QString &host, const QString &code);
    // The eight-digit number is seeded with the seconds since midnight, as the hosts expect.
    static QString downloadAddress(const QString &host, const QString &code, const QTime &now);

    // Shuffles in place with a Mersenne Twister seeded from the random device.
    static void shuffleHosts(QStringList *hosts);
};
