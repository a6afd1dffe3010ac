#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// Which of a resource's own subtitles is shown by itself when a file opens (Config.ini
// Player/SubtitleLanguage): Chinese (simplified before traditional, then English), English (then
// simplified and traditional Chinese), or none (the subtitles are offered, nothing is chosen).
class SubtitlePreference
{
public:
    enum Choice { Chinese = 0, English = 1, None = 2 };

    static Choice current();
    static void set(Choice choice);
    // The language tags in the order the choice takes them; each entry lists a language's names.
    static QList<QStringList> order(Choice choice);
    // The place in languages (the tags of the subtitles, best match first) of the one to show, or
    // -1. A language of the choice wins by its place in the order; without one, the best match
    // whose name carries no language.
    static int pick(const QStringList &languages, Choice choice);
};
