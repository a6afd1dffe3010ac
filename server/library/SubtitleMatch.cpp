#include "server/library/SubtitleMatch.h"

#include "server/store/LibraryStore.h"

#include <QMap>
#include <QPair>
#include <QRegularExpression>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVector>

#include <algorithm>

// The rules, applied to every subtitle file of a resource (.srt .ass .ssa .vtt, and a VobSub .idx
// with its .sub beside it; each at most kMaxSize bytes and not empty):
//  - A subtitle's home is the folder holding its outermost subtitle folder (Subs, Sub, Subtitles,
//    Subtitle, SRT, VobSub, a name ending in "subs"/"subtitles", or holding "字幕"), else its own
//    folder. Only videos in the home folder or below it are candidates.
//  - rank 0: the same stem as the video (case ignored): Film.srt, Subs/Film.ass.
//  - rank 1: the video's stem, a separator (. _ - space [ or ( ) and nothing but language tags
//    and qualifiers (forced, sdh, hi, cc, default, full, sub, subs, 字幕, 特效):
//    Film.chs.srt, Film.zh-CN.srt, Film_eng.forced.srt, Film.简英.ass.
//  - rank 2: a folder inside the subtitle folder named as the video's stem: Subs/Film/2_English.srt.
//  - rank 3: both names carry the same episode (S01E02, 1x02, E02, EP02, Episode 2, 第02集, 第二话,
//    [02], " - 02"); seasons, where both names (or their folders: "Season 2", "S02", "第2季")
//    carry one, must agree; an episode number that fits several seasons matches none of them.
//  - rank 4: the only video under the home folder, leaving out extras (names holding sample,
//    trailer or 预告), unless the subtitle names another episode: Subs/2_English.srt.
// A subtitle goes to the video(s) of its best rank only; extras get subtitles by ranks 0 and 1
// only.

namespace server {

namespace {
struct Parsed
{
    QString dir; // casefolded, "" at the root
    QString stem; // casefolded
    QString ext; // casefolded, without the dot
};

Parsed parse(const std::string &path)
{
    const QString text = QString::fromStdString(path).toCaseFolded();
    Parsed parsed;
    const int slash = text.lastIndexOf(QLatin1Char('/'));
    parsed.dir = slash < 0 ? QString() : text.left(slash);
    const QString name = text.mid(slash + 1);
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    parsed.stem = dot <= 0 ? name : name.left(dot);
    parsed.ext = dot <= 0 ? QString() : name.mid(dot + 1);
    return parsed;
}

bool isSubtitleFolder(const QString &folded)
{
    static const QSet<QString> names = {QStringLiteral("subs"),     QStringLiteral("sub"), QStringLiteral("subtitles"),
                                        QStringLiteral("subtitle"), QStringLiteral("srt"), QStringLiteral("vobsub")};
    return names.contains(folded) || folded.endsWith(QLatin1String("subs"))
        || folded.endsWith(QLatin1String("subtitles")) || folded.contains(QStringLiteral("字幕"));
}

bool isUnder(const QString &dir, const QString &home)
{
    return home.isEmpty() || dir == home || dir.startsWith(home + QLatin1Char('/'));
}

bool isExtra(const std::string &path)
{
    static const QRegularExpression extra(QStringLiteral("(?<![a-z])(sample|trailer)(?![a-z])|预告"));
    return extra.match(QString::fromStdString(path).toCaseFolded()).hasMatch();
}

// Chinese numerals up to 99 (一, 十二, 二十三), -1 for anything else.
int chineseNumber(const QString &text)
{
    static const QString digits = QStringLiteral("零一二三四五六七八九");
    if (text.isEmpty() || text.size() > 3)
        return -1;
    const int ten = text.indexOf(QStringLiteral("十"));
    const auto digit = [&](const QString &part, int empty) {
        if (part.isEmpty())
            return empty;
        if (part.size() != 1)
            return -1;
        const QChar c = part.at(0);
        if (c == QChar(0x4E24)) // 两
            return 2;
        if (c == QChar(0x3007)) // 〇
            return 0;
        return int(digits.indexOf(c));
    };
    if (ten < 0)
        return digit(text, -1);
    const int high = digit(text.left(ten), 1);
    const int low = digit(text.mid(ten + 1), 0);
    return high < 0 || low < 0 ? -1 : high * 10 + low;
}

struct Episode
{
    int season = -1;
    int episode = -1;
};

int numberOf(const QString &text)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    return ok ? value : chineseNumber(text);
}

Episode episodeIn(const QString &text)
{
    static const QRegularExpression seasonEpisode(QStringLiteral("(?<![a-z0-9])s(\\d{1,2})[ ._-]?e(\\d{1,4})(?!\\d)"));
    static const QRegularExpression crossed(QStringLiteral("(?<![a-z0-9])(\\d{1,2})x(\\d{2,3})(?![a-z0-9])"));
    static const QRegularExpression marked(QStringLiteral("(?<![a-z])(?:episode|ep|e)[ ._-]?(\\d{1,4})(?!\\d)"));
    static const QRegularExpression chinese(
        QStringLiteral("第\\s*(\\d{1,4}|[零一二三四五六七八九十两〇]{1,3})\\s*[集话話回期]"));
    static const QRegularExpression bracketed(QStringLiteral("\\[(\\d{1,3})(?:v\\d)?\\]"));
    static const QRegularExpression dashed(QStringLiteral(" - (\\d{1,3})(?:v\\d)?(?=$|[ .\\[(])"));
    Episode result;
    QRegularExpressionMatch found = seasonEpisode.match(text);
    if (!found.hasMatch())
        found = crossed.match(text);
    if (found.hasMatch()) {
        result.season = found.captured(1).toInt();
        result.episode = found.captured(2).toInt();
        return result;
    }
    for (const QRegularExpression *form : {&marked, &chinese, &bracketed, &dashed}) {
        found = form->match(text);
        if (found.hasMatch()) {
            result.episode = numberOf(found.captured(1));
            return result;
        }
    }
    return result;
}

int seasonIn(const QString &folders)
{
    static const QRegularExpression season(QStringLiteral(
        "(?:season[ ._-]?|(?<![a-z0-9])s)(\\d{1,2})(?![0-9])|第\\s*(\\d{1,2}|[一二三四五六七八九十]{1,3})\\s*季"));
    const QRegularExpressionMatch found = season.match(folders);
    if (!found.hasMatch())
        return -1;
    return numberOf(found.captured(1).isEmpty() ? found.captured(2) : found.captured(1));
}

// The episode of a name, its season from its folders when the name has none.
Episode episodeOf(const QString &stem, const QString &folders)
{
    Episode result = episodeIn(stem);
    if (result.episode < 0)
        return result;
    if (result.season < 0)
        result.season = seasonIn(folders);
    return result;
}

bool sameEpisode(const Episode &a, const Episode &b)
{
    return a.episode >= 0 && a.episode == b.episode && (a.season < 0 || b.season < 0 || a.season == b.season);
}

QString latinTag(const QString &token)
{
    static const QMap<QString, QString> tags = [] {
        QMap<QString, QString> map;
        const auto put = [&](const char *lang, std::initializer_list<const char *> names) {
            for (const char *name : names)
                map.insert(QString::fromLatin1(name), QString::fromLatin1(lang));
        };
        put("chs",
            {"chs", "sc", "zh-hans", "zh-cn", "zh-sg", "chi", "zho", "zh", "gb", "chinese", "simplified", "hans",
             "schinese"});
        put("cht", {"cht", "tc", "zh-hant", "zh-tw", "zh-hk", "big5", "traditional", "hant", "tchinese"});
        put("eng", {"eng", "en", "english"});
        put("jpn", {"jpn", "ja", "jp", "japanese"});
        put("kor", {"kor", "ko", "korean"});
        put("fre", {"fre", "fra", "french"});
        put("ger", {"ger", "deu", "german"});
        put("spa", {"spa", "spanish"});
        put("ita", {"ita", "italian"});
        put("rus", {"rus", "russian"});
        put("por", {"por", "portuguese"});
        put("tha", {"tha", "thai"});
        put("vie", {"vie", "vietnamese"});
        put("ara", {"ara", "arabic"});
        return map;
    }();
    return tags.value(token);
}

// Short words of Chinese tags only: 简体, 繁體中文, 简英, 中英双语, 日本語, ...
QString chineseTag(const QString &token)
{
    static const QString letters = QStringLiteral("简簡繁体體中文字幕英日韩韓双雙语語本");
    if (token.isEmpty() || token.size() > 6)
        return QString();
    for (const QChar c : token) {
        if (!letters.contains(c))
            return QString();
    }
    if (token.contains(QStringLiteral("繁")))
        return QStringLiteral("cht");
    if (token.contains(QStringLiteral("简")) || token.contains(QStringLiteral("簡"))
        || token.contains(QStringLiteral("中")))
        return QStringLiteral("chs");
    if (token.contains(QStringLiteral("英")))
        return QStringLiteral("eng");
    if (token.contains(QStringLiteral("日")))
        return QStringLiteral("jpn");
    if (token.contains(QStringLiteral("韩")) || token.contains(QStringLiteral("韓")))
        return QStringLiteral("kor");
    return QString();
}

QString tagOf(const QString &token)
{
    const QString latin = latinTag(token);
    return latin.isEmpty() ? chineseTag(token) : latin;
}

bool isQualifier(const QString &token)
{
    static const QSet<QString> words = {QStringLiteral("forced"), QStringLiteral("sdh"),     QStringLiteral("hi"),
                                        QStringLiteral("cc"),     QStringLiteral("default"), QStringLiteral("full"),
                                        QStringLiteral("sub"),    QStringLiteral("subs"),    QStringLiteral("字幕"),
                                        QStringLiteral("特效")};
    return words.contains(token) || (token.size() <= 6 && token.contains(QStringLiteral("字幕")));
}

// The words of a name with their tags ("" for a word that is none); "zh-TW" and "zh_tw" are one.
QVector<QPair<QString, QString>> wordsOf(const QString &folded)
{
    static const QRegularExpression separators(QStringLiteral("[\\s._\\[\\]()（）【】&+,，、;]+"));
    QVector<QPair<QString, QString>> words;
    QStringList parts;
    for (const QString &token : folded.split(separators, Qt::SkipEmptyParts)) {
        if (!tagOf(token).isEmpty()) {
            parts.append(token);
            continue;
        }
        parts.append(token.split(QLatin1Char('-'), Qt::SkipEmptyParts));
    }
    for (int i = 0; i < parts.size(); ++i) {
        if (i + 1 < parts.size()) {
            const QString pair = parts.at(i) + QLatin1Char('-') + parts.at(i + 1);
            const QString tag = latinTag(pair);
            if (!tag.isEmpty()) {
                words.append({pair, tag});
                ++i;
                continue;
            }
        }
        words.append({parts.at(i), tagOf(parts.at(i))});
    }
    return words;
}

QString languageIn(const QString &folded)
{
    QString first;
    for (const auto &word : wordsOf(folded)) {
        if (word.second.isEmpty())
            continue;
        if (word.second == QLatin1String("chs") || word.second == QLatin1String("cht"))
            return word.second;
        if (first.isEmpty())
            first = word.second;
    }
    return first;
}

// What follows the video's stem in a subtitle's stem: language tags and qualifiers only.
bool isTagTail(const QString &tail)
{
    static const QString separators = QStringLiteral(" ._-[(");
    if (tail.isEmpty() || !separators.contains(tail.at(0)))
        return false;
    const auto words = wordsOf(tail);
    if (words.isEmpty())
        return false;
    for (const auto &word : words) {
        if (word.second.isEmpty() && !isQualifier(word.first))
            return false;
    }
    return true;
}

struct Video
{
    int index = 0;
    Parsed name;
    Episode episode;
    bool extra = false;
};

struct Candidate
{
    SubtitleMatch::Subtitle subtitle;
    Parsed name;
    QString home;
    QStringList inner; // folders between the subtitle folder and the file
    bool inSubtitleFolder = false;
    Episode episode;
};

bool isSubtitleExtension(const QString &ext)
{
    return ext == QLatin1String("srt") || ext == QLatin1String("ass") || ext == QLatin1String("ssa")
        || ext == QLatin1String("vtt");
}

bool fits(int64_t size)
{
    return size > 0 && size <= SubtitleMatch::kMaxSize;
}

int rankFor(const Candidate &candidate, const Video &video, int onlyVideo)
{
    if (!isUnder(video.name.dir, candidate.home))
        return -1;
    const QString &stem = candidate.name.stem;
    if (stem == video.name.stem)
        return 0;
    if (stem.startsWith(video.name.stem) && isTagTail(stem.mid(video.name.stem.size())))
        return 1;
    if (video.extra)
        return -1;
    if (candidate.inner.contains(video.name.stem))
        return 2;
    if (candidate.episode.episode >= 0 && sameEpisode(candidate.episode, video.episode))
        return 3;
    if (onlyVideo == video.index
        && !(candidate.episode.episode >= 0 && video.episode.episode >= 0
             && !sameEpisode(candidate.episode, video.episode)))
        return 4;
    return -1;
}
} // namespace

std::string SubtitleMatch::languageOf(const std::string &name)
{
    return languageIn(parse(name).stem).toStdString();
}

std::map<int, std::vector<SubtitleMatch::Subtitle>> SubtitleMatch::match(const std::vector<File> &files)
{
    std::vector<Video> videos;
    std::vector<Candidate> candidates;
    std::map<QString, const File *> subFiles; // VobSub .sub by folded path stem
    for (const File &file : files) {
        const Parsed name = parse(file.path);
        if (LibraryStore::isVideoName(file.path)) {
            Video video;
            video.index = file.index;
            video.name = name;
            video.episode = episodeOf(name.stem, name.dir);
            video.extra = isExtra(file.path);
            videos.push_back(video);
        } else if (name.ext == QLatin1String("sub")) {
            subFiles[name.dir + QLatin1Char('/') + name.stem] = &file;
        }
    }
    for (const File &file : files) {
        const Parsed name = parse(file.path);
        Candidate candidate;
        if (name.ext == QLatin1String("idx")) {
            const auto sub = subFiles.find(name.dir + QLatin1Char('/') + name.stem);
            if (sub == subFiles.end() || !fits(sub->second->size))
                continue;
            candidate.subtitle.subIndex = sub->second->index;
        } else if (!isSubtitleExtension(name.ext)) {
            continue;
        }
        if (!fits(file.size))
            continue;
        candidate.subtitle.index = file.index;
        candidate.subtitle.path = file.path;
        candidate.subtitle.size = file.size;
        candidate.name = name;
        const QStringList folders = name.dir.split(QLatin1Char('/'), Qt::SkipEmptyParts);
        int subtitleFolder = -1;
        for (int i = 0; i < folders.size() && subtitleFolder < 0; ++i) {
            if (isSubtitleFolder(folders.at(i)))
                subtitleFolder = i;
        }
        candidate.inSubtitleFolder = subtitleFolder >= 0;
        candidate.home =
            subtitleFolder < 0 ? name.dir : QStringList(folders.mid(0, subtitleFolder)).join(QLatin1Char('/'));
        if (subtitleFolder >= 0)
            candidate.inner = folders.mid(subtitleFolder + 1);
        candidate.episode = episodeIn(name.stem);
        if (candidate.episode.episode < 0 && !candidate.inner.isEmpty())
            candidate.episode = episodeIn(candidate.inner.join(QLatin1Char('/')));
        if (candidate.episode.episode >= 0 && candidate.episode.season < 0)
            candidate.episode.season = seasonIn(name.dir);
        candidates.push_back(candidate);
    }

    std::map<int, std::vector<Subtitle>> result;
    for (Candidate &candidate : candidates) {
        int onlyVideo = -1;
        int count = 0;
        for (const Video &video : videos) {
            if (!video.extra && isUnder(video.name.dir, candidate.home)) {
                onlyVideo = video.index;
                ++count;
            }
        }
        if (count != 1)
            onlyVideo = -1;
        int best = -1;
        std::vector<const Video *> chosen;
        for (const Video &video : videos) {
            const int rank = rankFor(candidate, video, onlyVideo);
            if (rank < 0 || (best >= 0 && rank > best))
                continue;
            if (rank != best)
                chosen.clear();
            best = rank;
            chosen.push_back(&video);
        }
        if (best == 3) {
            // An episode number alone that fits several seasons belongs to none of them.
            QSet<int> seasons;
            for (const Video *video : chosen)
                seasons.insert(video->episode.season);
            if (seasons.size() > 1)
                chosen.clear();
        }
        if (chosen.empty())
            continue;
        candidate.subtitle.rank = best;
        // The tag after the video's stem, else any the name carries beyond the video's stem, else
        // the folder's (Subs/English/Film.srt).
        QString lang;
        if (best == 1)
            lang = languageIn(candidate.name.stem.mid(chosen.front()->name.stem.size()));
        else if (best != 0)
            lang = languageIn(candidate.name.stem);
        if (lang.isEmpty() && !candidate.inner.isEmpty())
            lang = languageIn(candidate.inner.last());
        candidate.subtitle.lang = lang.toStdString();
        for (const Video *video : chosen)
            result[video->index].push_back(candidate.subtitle);
    }
    for (auto &entry : result) {
        std::stable_sort(entry.second.begin(), entry.second.end(), [](const Subtitle &a, const Subtitle &b) {
            return a.rank != b.rank ? a.rank < b.rank : a.path < b.path;
        });
    }
    return result;
}

std::map<int, std::vector<SubtitleMatch::Subtitle>> SubtitleMatch::match(const std::vector<LibraryFile> &files)
{
    std::vector<File> named;
    named.reserve(files.size());
    for (const LibraryFile &file : files)
        named.push_back({file.fileIndex, file.path, file.size});
    return match(named);
}

bool SubtitleMatch::isMatched(const std::vector<LibraryFile> &files, int fileIndex)
{
    for (const auto &entry : match(files)) {
        for (const Subtitle &subtitle : entry.second) {
            if (subtitle.index == fileIndex || subtitle.subIndex == fileIndex)
                return true;
        }
    }
    return false;
}

} // namespace server
