#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>

// A subtitle file of the resource that the service matched to a video file, best match first.
struct ResourceSubtitle
{
    quint32 index = 0;       // its file index in the resource
    QString name;            // its path in the resource
    quint64 fileSize = 0;
    QString language;        // "chs", "cht", "eng", ... or empty when the name carries none
    qint64 subIndex = -1;    // a VobSub .idx: the index of its .sub, -1 otherwise
};

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
    // From the file list; empty for replies without them.
    QList<ResourceSubtitle> subtitles;
};
