#pragma once

#include <QString>
#include <QtGlobal>

// Size of a file as the resource dialog shows it: "%1MB" below 1 GiB, "%1G" from 1 GiB on, with
// two decimals (1572864 bytes read 1.50MB, 2147483648 bytes read 2.00G).
QString fileSizeText(quint64 bytes);
