#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace server {

struct LibraryFile;

// Which subtitle files of a resource belong to which of its videos, by their names alone (the
// rules are listed in SubtitleMatch.cpp). Pure: the file list in, the matches out, so that every
// route and video host that needs it gets the same answer from the library's rows.
class SubtitleMatch
{
public:
    // Larger subtitle files are not subtitles worth sending to a player.
    static constexpr int64_t kMaxSize = 8 * 1024 * 1024;

    struct File
    {
        int index = 0;
        std::string path; // "/"-joined, UTF-8
        int64_t size = 0;
    };
    struct Subtitle
    {
        int index = 0;
        std::string path;
        int64_t size = 0;
        std::string lang; // chs, cht, eng, jpn, kor, ... or empty
        int subIndex = -1; // the .sub beside a VobSub .idx
        int rank = 0; // of the rule that matched it: lower is better
    };

    // By video file index, that video's subtitles best match first.
    static std::map<int, std::vector<Subtitle>> match(const std::vector<File> &files);
    static std::map<int, std::vector<Subtitle>> match(const std::vector<LibraryFile> &files);

    // Whether `fileIndex` is a subtitle file (or the .sub of one) matched to some video.
    static bool isMatched(const std::vector<LibraryFile> &files, int fileIndex);

    // The language a subtitle's name carries, normalised (chs, cht, eng, ...), or empty.
    static std::string languageOf(const std::string &name);
};

} // namespace server
