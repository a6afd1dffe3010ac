#pragma once

#include "resources/protocol/BencodeReader.h"

#include <QByteArray>
#include <QVariant>

// Writes values in the form BencodeReader reads: qlonglong (and other integers), QByteArray,
// QString (as UTF-8), QVariantList and Dictionary. Dictionary keys come out in byte order, as
// the format requires, because Dictionary is a QMap over QByteArray.
class BencodeWriter
{
public:
    // Empty when the value holds a type that has no bencoded form.
    static QByteArray encode(const QVariant &value);

private:
    static bool write(const QVariant &value, QByteArray *out, int depth);
};
