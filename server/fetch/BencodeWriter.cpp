#include "server/fetch/BencodeWriter.h"

#include <climits>

QByteArray BencodeWriter::encode(const QVariant &value)
{
    QByteArray out;
    if (!write(value, &out, 0))
        return QByteArray();
    return out;
}

bool BencodeWriter::write(const QVariant &value, QByteArray *out, int depth)
{
    if (depth > BencodeReader::maxDepth)
        return false;
    const int type = value.userType();
    if (type == BencodeReader::dictionaryMetaTypeId()) {
        const Dictionary dictionary = value.value<Dictionary>();
        out->append('d');
        for (auto entry = dictionary.cbegin(); entry != dictionary.cend(); ++entry) {
            out->append(QByteArray::number(entry.key().size())).append(':').append(entry.key());
            if (!write(entry.value(), out, depth + 1))
                return false;
        }
        out->append('e');
        return true;
    }
    switch (type) {
    case QMetaType::QByteArray: {
        const QByteArray bytes = value.toByteArray();
        out->append(QByteArray::number(bytes.size())).append(':').append(bytes);
        return true;
    }
    case QMetaType::QString: {
        const QByteArray bytes = value.toString().toUtf8();
        out->append(QByteArray::number(bytes.size())).append(':').append(bytes);
        return true;
    }
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::Long:
        out->append('i').append(QByteArray::number(value.toLongLong())).append('e');
        return true;
    case QMetaType::ULongLong:
        if (value.toULongLong() > quint64(LLONG_MAX))
            return false;
        out->append('i').append(QByteArray::number(value.toULongLong())).append('e');
        return true;
    case QMetaType::QVariantList: {
        out->append('l');
        for (const QVariant &element : value.toList()) {
            if (!write(element, out, depth + 1))
                return false;
        }
        out->append('e');
        return true;
    }
    default:
        return false;
    }
}
