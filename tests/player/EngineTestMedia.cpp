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
    const QString path = QDir(folder).filePath(name);
    const QString length = QString::number(seconds);
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"),
                 {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-y"),
                  QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                  picture,
                  QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                  QStringLiteral("sine=frequency=440:duration=%1").arg(length),
                  QStringLiteral("-c:v"), QStringLiteral("libx264"), QStringLiteral("-preset"), QStringLiteral("veryfast"),
                  QStringLiteral("-g"), QStringLiteral("25"), QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p"),
                  QStringLiteral("-c:a"), QStringLiteral("aac"), QStringLiteral("-b:a"), QStringLiteral("32k"),
                  QStringLiteral("-movflags"), QStringLiteral("+faststart"), QStringLiteral("-shortest"), path});
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
