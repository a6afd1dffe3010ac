#pragma once

#include <string>

namespace server {

// Every log line goes through here: clients choose paths, methods and header values, so bytes
// that could end a line or drive a terminal are written as \xNN.
class LogText
{
public:
    // Control bytes (C0, DEL, C1 as UTF-8), backslash and bytes that are not UTF-8 become \xNN.
    static std::string escape(const std::string &text);
    // Writes one escaped line and its newline to stderr in one piece.
    static void print(const std::string &line);
    // The same, at most once a second with a count of the lines left out, for what an attacker
    // can repeat (refused connections).
    static void printLimited(const std::string &line);
};

} // namespace server
