#pragma once

#include <QByteArray>
#include <QString>

// Small media made with ffmpeg at test set-up.
namespace EngineTestMedia {
// H.264 + AAC in MP4 (moov first), width x height, seconds long; empty on failure.
// A noisy picture makes a high bit rate (about 170 KB/s at 320x240).
QByteArray makeClip(const QString &folder, const QString &name, int seconds, int width, int height,
                    bool noisy = false);
// The same from any lavfi picture source ("color=c=gray:size=320x180:rate=25:duration=14").
QByteArray makeClipFrom(const QString &folder, const QString &name, int seconds, const QString &picture);
}
