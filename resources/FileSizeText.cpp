#include "resources/FileSizeText.h"

QString fileSizeText(quint64 bytes)
{
    constexpr quint64 gib = quint64(1) << 30;
    constexpr quint64 mib = quint64(1) << 20;
    if (bytes >= gib)
        return QString::number(double(bytes) / double(gib), 'f', 2) + QStringLiteral("G");
    return QString::number(double(bytes) / double(mib), 'f', 2) + QStringLiteral("MB");
}
