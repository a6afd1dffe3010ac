#include "EngineTestMedia.h"

#include <QDir>
#include <QFile>
#include <QProcess>

QByteArray EngineTestMedia::makeClip(const QString &folder, const QString &name, int seconds, int width, int height,
                                     bool noisy)
{
    QString picture = QStringLiteral("testsrc=size=%1x%2:rate=25:duration=%3").arg(width).arg(height).arg(seconds);
    if (noisy)
        picture += QStringLiteral(",noise=alls=40:allf=t");
    return makeClipFrom(folder, name, seconds, picture);
}

QByteArray EngineTestMedia::makeClipFrom(const QString &folder, const QString &name, int seconds, const QString &picture)
{
    const QString path = QDir(folder).filePath(name);
    QStringList arguments = QStringLiteral("-v error -y -f lavfi -i %1 -f lavfi -i sine=frequency=440:duration=%2 "
                                           "-c:v libx264 -preset veryfast -g 25 -pix_fmt yuv420p -c:a aac -b:a 32k "
                                           "-movflags +faststart -shortest")
                                .arg(picture)
                                .arg(seconds)
                                .split(QLatin1Char(' '));
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"), arguments << path);
    if (!ffmpeg.waitForFinished(120000)) {
        ffmpeg.kill();
        ffmpeg.waitForFinished();
        return {};
    }
    if (ffmpeg.exitStatus() != QProcess::NormalExit || ffmpeg.exitCode() != 0)
        return {};
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
