#pragma once

#include <QString>

// Torrent files are at most a few tens of megabytes; a larger file named ".torrent" is refused
// rather than read whole into memory.
constexpr qint64 maxTorrentFileSize = 64 * 1024 * 1024;

// The 40-character resource hash that the user's input names, or empty when it names none.
// Text containing ".torrent" is a file path: the hash is the SHA-1 of the file's info span as 40
// lowercase hex digits. Any other text yields its last run of 40 letters or digits, case kept.
QString resourceHashFromInput(const QString &text);

// The SHA-1 of a torrent file's info span as lowercase hex, or empty when the bytes do not read as
// a torrent (they must begin with a dictionary).
QString resourceHashFromTorrentBytes(const QByteArray &bytes);

// True when the text holds a run of 40 letters or digits.
bool containsResourceHash(const QString &text);

// One tick of the clipboard monitor: whether the clipboard text should be put into the parse page.
// Text that is empty or equal to *lastSeenText is ignored; any other text becomes *lastSeenText and
// is taken when it holds a hash.
bool clipboardTextToParse(const QString &clipboardText, QString *lastSeenText);
