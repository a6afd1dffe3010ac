#include "server/http/LogText.h"

#include <chrono>
#include <cstdio>
#include <mutex>

namespace server {

namespace {
std::mutex gPrintMutex;

void appendEscaped(std::string &out, unsigned char byte)
{
    static const char digits[] = "0123456789abcdef";
    out += "\\x";
    out += digits[byte >> 4];
    out += digits[byte & 0xF];
}

// Length of the well-formed UTF-8 sequence starting at text[at] (2 to 4), or 0.
size_t sequenceLength(const std::string &text, size_t at, unsigned *codePoint)
{
    const auto byte = [&text](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    size_t length = 0;
    unsigned value = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        value = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        value = lead & 0x07;
    } else {
        return 0;
    }
    if (at + length > text.size())
        return 0;
    for (size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80)
            return 0;
        value = (value << 6) | (byte(at + i) & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
    if ((length == 3 && value < 0x800) || (length == 4 && (value < 0x10000 || value > 0x10FFFF))
        || (value >= 0xD800 && value <= 0xDFFF))
        return 0;
    *codePoint = value;
    return length;
}
} // namespace

std::string LogText::escape(const std::string &text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x80) {
            if (byte < 0x20 || byte == 0x7F || byte == '\\')
                appendEscaped(out, byte);
            else
                out += char(byte);
            ++i;
            continue;
        }
        unsigned codePoint = 0;
        const size_t length = sequenceLength(text, i, &codePoint);
        if (length == 0 || (codePoint >= 0x80 && codePoint <= 0x9F)) {
            appendEscaped(out, byte);
            ++i;
            continue;
        }
        out.append(text, i, length);
        i += length;
    }
    return out;
}

void LogText::print(const std::string &line)
{
    const std::string escaped = escape(line) + "\n";
    std::lock_guard<std::mutex> lock(gPrintMutex);
    std::fwrite(escaped.data(), 1, escaped.size(), stderr);
    std::fflush(stderr);
}

} // namespace server

namespace server {

void LogText::printLimited(const std::string &line)
{
    static std::mutex mutex;
    static std::chrono::steady_clock::time_point last;
    static long leftOut = 0;
    std::string text = line;
    {
        std::lock_guard<std::mutex> lock(mutex);
        const auto now = std::chrono::steady_clock::now();
        if (now - last < std::chrono::seconds(1)) {
            ++leftOut;
            return;
        }
        if (leftOut > 0)
            text += " (" + std::to_string(leftOut) + " more since the last such line)";
        leftOut = 0;
        last = now;
    }
    print(text);
}

} // namespace server
