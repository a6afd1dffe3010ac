#pragma once

#include <string>

namespace server {

// Captcha texts and their pictures: 4 characters from a set without look-alikes (no 0/O, 1/I/L),
// drawn at the size of the sign-up page's image button. Each letter is the built-in 5 x 7 font
// traced as strokes of its own thickness, scaled, rotated and slanted on its own, the letters
// overlap, the whole is bent by waves and crossed by lines of the letters' colours: easy for
// people, while matching the font's cells against the picture finds little.
class Captcha
{
public:
    static constexpr int kLength = 4;
    static constexpr int kWidth = 108;
    static constexpr int kHeight = 34;

    static std::string randomText();
    // A PNG picture of the text; characters outside the set are drawn as blanks.
    static std::string render(const std::string &text);
    // The picture as 8-bit RGB rows, kWidth x kHeight.
    static std::string draw(const std::string &text);
    // The 5 x 7 cells of a character of the set ('#' drawn), or nullptr.
    static const char *const *glyphRows(char letter);
    // Compares ignoring case (ASCII letters only; the set has no others).
    static bool matches(const std::string &expected, const std::string &given);
};

// A minimal PNG encoder for 8-bit RGB pictures.
std::string encodePng(int width, int height, const std::string &rgb);

} // namespace server
