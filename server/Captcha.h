#pragma once

#include <string>

namespace server {

// Captcha texts and their pictures: 4 characters from a set without look-alikes (no 0/O, 1/I/L),
// drawn with a built-in bitmap font, jitter, slant and noise, and encoded as PNG.
class Captcha
{
public:
    static constexpr int kLength = 4;
    static constexpr int kWidth = 120;
    static constexpr int kHeight = 40;

    static std::string randomText();
    // A PNG picture of the text; characters outside the set are drawn as blanks.
    static std::string render(const std::string &text);
    // Compares ignoring case (ASCII letters only; the set has no others).
    static bool matches(const std::string &expected, const std::string &given);
};

// A minimal PNG encoder for 8-bit RGB pictures.
std::string encodePng(int width, int height, const std::string &rgb);

} // namespace server
