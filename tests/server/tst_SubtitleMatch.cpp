// Subtitle files matched to the videos of a resource by name, on file lists shaped like those of
// real film, series and anime resources, including names that must not match.
#include "server/library/SubtitleMatch.h"

#include <QtTest>

using server::SubtitleMatch;

namespace {
// "path" or "path|size"; a file's index is its position.
std::vector<SubtitleMatch::File> filesOf(const QStringList &list)
{
    std::vector<SubtitleMatch::File> files;
    for (const QString &item : list) {
        const QStringList parts = item.split(QLatin1Char('|'));
        files.push_back(
            {int(files.size()), parts.at(0).toStdString(), parts.size() > 1 ? parts.at(1).toLongLong() : 2000});
    }
    return files;
}

// "video<-subtitle:lang" (with "+sub" for a VobSub pair) in the reply's order, space-separated.
QString describe(const std::map<int, std::vector<SubtitleMatch::Subtitle>> &matches)
{
    QStringList out;
    for (const auto &entry : matches) {
        for (const SubtitleMatch::Subtitle &subtitle : entry.second) {
            QString text = QStringLiteral("%1<-%2:%3")
                               .arg(entry.first)
                               .arg(subtitle.index)
                               .arg(QString::fromStdString(subtitle.lang));
            if (subtitle.subIndex >= 0)
                text += QStringLiteral("+%1").arg(subtitle.subIndex);
            out.append(text);
        }
    }
    return out.join(QLatin1Char(' '));
}
} // namespace

class SubtitleMatchTest : public QObject
{
    Q_OBJECT

private slots:
    void matchesByName_data();
    void matchesByName();
    void languageFromName_data();
    void languageFromName();
};

void SubtitleMatchTest::matchesByName_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QString>("expected");
    const auto row = [](const char *tag, std::initializer_list<const char *> names, const char *expected) {
        QStringList files;
        for (const char *name : names)
            files.append(QString::fromUtf8(name));
        QTest::newRow(tag) << files << QString::fromUtf8(expected);
    };

    // Same stem first, then stem plus tags in name order; a tail that is no tag is no stem match.
    row("film with tagged subtitles",
        {"Film.2019.1080p.mkv", "Film.2019.1080p.chs.srt", "Film.2019.1080p.zh-CN.srt", "Film.2019.1080p.eng.srt",
         "Film.2019.1080p.简英.ass", "Film.2019.1080p.chs&eng.srt", "Film.2019.1080p.srt",
         "Film.2019.1080p.Forced.eng.srt"},
        "0<-6: 0<-7:eng 0<-5:chs 0<-1:chs 0<-3:eng 0<-2:chs 0<-4:chs");
    // The one video of a folder gets the subtitle folder's files; samples and trailers are extras.
    row("single video, Subs folder, sample",
        {"Movie.2010/Movie.2010.mkv", "Movie.2010/Subs/2_English.srt", "Movie.2010/Subs/3_Chinese.srt",
         "Movie.2010/Sample/movie.2010-sample.mkv", "Movie.2010/Movie.2010-trailer.mp4"},
        "0<-1:eng 0<-2:chs");
    row("series, episodes in subtitle folders",
        {"Show.S01/Show.S01E01.1080p.mkv", "Show.S01/Show.S01E02.1080p.mkv", "Show.S01/Subs/Show.S01E01.chs.ass",
         "Show.S01/Subs/Show.S01E02.chs.ass", "Show.S01/Subs/S01E02/2_English.srt", "Show.S01/字幕/第02集.简体.srt",
         "Show.S01/Subs/Show.S01E03.chs.ass"},
        "0<-2:chs 1<-4:eng 1<-3:chs 1<-5:chs");
    // An episode number alone fitting two seasons belongs to neither; with its season to one.
    row("two seasons",
        {"Season 1/Show.S01E02.mkv", "Season 2/Show.S02E02.mkv", "Subs/E02.srt", "Subs/Show.S02E02.srt",
         "Season 1/Subs/EP02.ass"},
        "0<-4: 1<-3:");
    // Another film of the pack, and a subtitle folder shared by two films, match nothing.
    row("film pack",
        {"Pack/Film A (2001).mkv", "Pack/Film B (2003).mkv", "Pack/Film A (2001).chs.srt", "Pack/Subs/English.srt",
         "Pack/Film C (2005).eng.srt"},
        "0<-2:chs");
    row("film folders",
        {"Films/A/A.1080p.mkv", "Films/B/B.720p.mkv", "Films/B/Subs/2_English.srt", "Films/Subs/A.1080p/3_Chinese.srt"},
        "0<-3:chs 1<-2:eng");
    row("anime",
        {"[Grp] Show - 01 [1080p].mkv", "[Grp] Show - 02 [1080p].mkv", "[Grp] Show - 02 [1080p].sc.ass",
         "[Grp] Show - 01.tc.ass", "[Grp][Other][03][1080P].mp4", "[Grp][Other][03].jp.ass", "[Grp] Show - 04.sc.ass"},
        "0<-3:cht 1<-2:chs 4<-5:jpn");
    row("chinese episode names",
        {"某剧/某剧.第01集.mp4", "某剧/某剧.第02集.mp4", "某剧/字幕/第二集.ass", "某剧/某剧.第1集.繁体.srt"},
        "0<-3:cht 1<-2:");
    // VobSub pairs; too large, empty and unknown files are no subtitles.
    row("vobsub, sizes, other files",
        {"Film.mkv", "Film.idx", "Film.sub", "Film.eng.srt|9000000", "Film.jpn.srt|0", "Film.txt", "Lone.sub",
         "Big.idx", "Big.sub|9000000"},
        "0<-1:+2");
    row("no video", {"Film.chs.srt", "Subs/2_English.srt"}, "");
}

void SubtitleMatchTest::matchesByName()
{
    QFETCH(QStringList, files);
    QFETCH(QString, expected);
    QCOMPARE(describe(SubtitleMatch::match(filesOf(files))), expected);
}

void SubtitleMatchTest::languageFromName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("lang");
    const auto row = [](const char *name, const char *lang) {
        QTest::newRow(name) << QString::fromUtf8(name) << QString::fromLatin1(lang);
    };
    row("Film.zh-TW.srt", "cht");
    row("Film.zh_tw.srt", "cht");
    row("Film.zh-Hans.srt", "chs");
    row("Film.big5.srt", "cht");
    row("Film.繁體中文.srt", "cht");
    row("Film.简体中文.ass", "chs");
    row("Film.eng&chs.srt", "chs");
    row("Film.中英双语.ass", "chs");
    row("Film.繁英.ass", "cht");
    row("2_English.srt", "eng");
    row("Film.jp.srt", "jpn");
    row("Film.kor.srt", "kor");
    row("Film.french.srt", "fre");
    row("日出.srt", "");
    row("Film.Forced.srt", "");
}

void SubtitleMatchTest::languageFromName()
{
    QFETCH(QString, name);
    QFETCH(QString, lang);
    QCOMPARE(QString::fromStdString(SubtitleMatch::languageOf(name.toStdString())), lang);
}

QTEST_GUILESS_MAIN(SubtitleMatchTest)
#include "tst_SubtitleMatch.moc"
