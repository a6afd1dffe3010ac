#include "player/SubtitleOptions.h"

#include "player/PlaybackController.h"
#include "player/PlayerEngine.h"

#include <QStringList>

SubtitleOptions::SubtitleOptions(PlaybackController *playback)
    : QObject(playback)
    , m_playback(playback)
{
}

bool SubtitleOptions::isLoaded() const
{
    return m_playback->isMediaOpen() && !m_playback->engine()->config(PlayerEngine::SubtitleFile).isEmpty();
}

void SubtitleOptions::setFilePath(const QString &path)
{
    m_filePath = path;
    if (!m_playback->isMediaOpen())
        return;
    // QString reaches the engine as UTF-8, the file system's encoding here.
    m_playback->engine()->setConfig(PlayerEngine::SubtitleFile, path);
    sendShown();
}

void SubtitleOptions::applyOnOpen()
{
    if (m_filePath.isEmpty() || !m_playback->engine())
        return;
    m_playback->engine()->setConfig(PlayerEngine::SubtitleFile, m_filePath);
    sendShown();
}

void SubtitleOptions::sendShown()
{
    m_playback->engine()->setConfig(PlayerEngine::SubtitleVisible, m_shown ? QStringLiteral("1") : QStringLiteral("0"));
}

void SubtitleOptions::setShown(bool shown)
{
    m_shown = shown;
    if (isLoaded())
        sendShown();
}

void SubtitleOptions::setDelayMode(DelayMode mode)
{
    m_delayMode = mode;
    sendDelay(true);
}

void SubtitleOptions::setDelayMilliseconds(const QString &milliseconds)
{
    m_delayMilliseconds = milliseconds;
    sendDelay(false);
}

void SubtitleOptions::sendDelay(bool skipEmpty)
{
    if (!isLoaded())
        return;
    QString value;
    if (m_delayMode == NoDelay) {
        // Switching the delay off clears it; typing meanwhile changes nothing.
        if (!skipEmpty)
            return;
        value = QStringLiteral("0");
    } else {
        if (skipEmpty && (m_delayMilliseconds.isEmpty() || m_delayMilliseconds == QLatin1String("0")))
            return;
        value = (m_delayMode == Earlier ? QStringLiteral("-") : QString()) + m_delayMilliseconds;
    }
    m_playback->engine()->setConfig(PlayerEngine::SubtitleDelay, value + QStringLiteral(";1000;1000"));
}

void SubtitleOptions::moveUp() { move(0, -1); }
void SubtitleOptions::moveDown() { move(0, 1); }
void SubtitleOptions::moveLeft() { move(-1, 0); }
void SubtitleOptions::moveRight() { move(1, 0); }

void SubtitleOptions::move(int horizontal, int vertical)
{
    if (!isLoaded())
        return;
    PlayerEngine *engine = m_playback->engine();
    QStringList fields = engine->config(PlayerEngine::SubtitlePlacement).split(QLatin1Char(';'));
    if (fields.size() < 3)
        return;
    // Only the field that moves is rewritten; the other is sent as the engine gave it.
    auto step = [](const QString &field, int by) { return QString::number(qMax(0LL, qint64(field.toUInt()) + by)); };
    const QString h = horizontal ? step(fields.at(1), horizontal) : fields.at(1);
    const QString v = vertical ? step(fields.at(2), vertical) : fields.at(2);
    engine->setConfig(PlayerEngine::SubtitlePlacement, QStringLiteral("1;%1;%2").arg(h, v));
}

void SubtitleOptions::setSize(int size)
{
    if (!isLoaded())
        return;
    PlayerEngine *engine = m_playback->engine();
    const QString font = engine->config(PlayerEngine::SubtitleFont);
    if (font.isEmpty())
        return;
    QStringList fields = font.split(QLatin1Char(';'));
    if (fields.size() < 4)
        return;
    fields[1] = QString::number(size);
    engine->setConfig(PlayerEngine::SubtitleFont, fields.mid(0, 4).join(QLatin1Char(';')));
}
