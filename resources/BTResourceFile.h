#pragma once

#include <QString>
#include <QtGlobal>

// The identity of one video file of a resource, filled step by step: the file list gives the
// resource hash, index, name and size; the lixian_qq step the file hash, index, size and jxhash;
// the qqlixian_gethttp step the code and cookie; the download path the accepted address.
// Every row, download and record keeps its own copy.
struct BTResourceFile
{
    QString resourceHash;
    QString fileHash;
    quint32 resourceIndex = 0;
    quint32 fileIndex = 0;
    QString jxhash;
    QString fileName;
    QString code;
    QString comCookie;
    QString downloadUrl;
    quint64 fileSize = 0;
    quint64 size = 0;
};
