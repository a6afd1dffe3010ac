#pragma once

#include <QByteArray>

// SHA-1 of a byte range without copying it. Uses the processor's SHA instructions where there
// are any (a torrent's info span is megabytes, and hashing it is most of deriving the hash);
// anywhere else it is QCryptographicHash.
class Sha1
{
public:
    // The 20-byte digest.
    static QByteArray hash(const char *data, int size);
    static QByteArray hash(const QByteArray &bytes) { return hash(bytes.constData(), bytes.size()); }

    // Whether hash() runs on the SHA instructions of this processor.
    static bool usesShaInstructions();
    // Whether QCryptographicHash is used even where the instructions exist.
    static void setPortableOnly(bool portableOnly);
};
