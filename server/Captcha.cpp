#include "server/Captcha.h"

#include <sodium.h>
#include <zlib.h>

#include <cctype>
#include <cstring>

namespace server {

namespace {
const char kAlphabet[] = "ABCDEFGHJKMNPQRSTUVWXYZ23456789";

// 5 x 7 glyphs for every character of kAlphabet.
struct Glyph {
    char letter;
    const char *rows[7];
};

const Glyph kFont[] = {
    {'A', {".###.", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"}},
    {'B', {"####.", "#...#", "#...#", "####.", "#...#", "#...#", "####."}},
    {'C', {".###.", "#...#", "#....", "#....", "#....", "#...#", ".###."}},
    {'D', {"####.", "#...#", "#...#", "#...#", "#...#", "#...#", "####."}},
    {'E', {"#####", "#....", "#....", "####.", "#....", "#....", "#####"}},
    {'F', {"#####", "#....", "#....", "####.", "#....", "#....", "#...."}},
    {'G', {".###.", "#...#", "#....", "#.###", "#...#", "#...#", ".####"}},
    {'H', {"#...#", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"}},
    {'J', {"..###", "...#.", "...#.", "...#.", "...#.", "#..#.", ".##.."}},
    {'K', {"#...#", "#..#.", "#.#..", "##...", "#.#..", "#..#.", "#...#"}},
    {'M', {"#...#", "##.##", "#.#.#", "#.#.#", "#...#", "#...#", "#...#"}},
    {'N', {"#...#", "##..#", "#.#.#", "#..##", "#...#", "#...#", "#...#"}},
    {'P', {"####.", "#...#", "#...#", "####.", "#....", "#....", "#...."}},
    {'Q', {".###.", "#...#", "#...#", "#...#", "#.#.#", "#..#.", ".##.#"}},
    {'R', {"####.", "#...#", "#...#", "####.", "#.#..", "#..#.", "#...#"}},
    {'S', {".####", "#....", "#....", ".###.", "....#", "....#", "####."}},
    {'T', {"#####", "..#..", "..#..", "..#..", "..#..", "..#..", "..#.."}},
    {'U', {"#...#", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."}},
    {'V', {"#...#", "#...#", "#...#", "#...#", "#...#", ".#.#.", "..#.."}},
    {'W', {"#...#", "#...#", "#...#", "#.#.#", "#.#.#", "#.#.#", ".#.#."}},
    {'X', {"#...#", "#...#", ".#.#.", "..#..", ".#.#.", "#...#", "#...#"}},
    {'Y', {"#...#", "#...#", ".#.#.", "..#..", "..#..", "..#..", "..#.."}},
    {'Z', {"#####", "....#", "...#.", "..#..", ".#...", "#....", "#####"}},
    {'2', {".###.", "#...#", "....#", "...#.", "..#..", ".#...", "#####"}},
    {'3', {"#####", "...#.", "..#..", "...#.", "....#", "#...#", ".###."}},
    {'4', {"...#.", "..##.", ".#.#.", "#..#.", "#####", "...#.", "...#."}},
    {'5', {"#####", "#....", "####.", "....#", "....#", "#...#", ".###."}},
    {'6', {"..##.", ".#...", "#....", "####.", "#...#", "#...#", ".###."}},
    {'7', {"#####", "....#", "...#.", "..#..", ".#...", ".#...", ".#..."}},
    {'8', {".###.", "#...#", "#...#", ".###.", "#...#", "#...#", ".###."}},
    {'9', {".###.", "#...#", "#...#", ".####", "....#", "...#.", ".##.."}},
};

const Glyph *glyphOf(char letter)
{
    const char upper = char(std::toupper(static_cast<unsigned char>(letter)));
    for (const Glyph &glyph : kFont) {
        if (glyph.letter == upper)
            return &glyph;
    }
    return nullptr;
}

int randomBetween(int low, int high) // inclusive
{
    return low + int(randombytes_uniform(uint32_t(high - low + 1)));
}

void appendChunk(std::string &png, const char *type, const std::string &data)
{
    const uint32_t length = uint32_t(data.size());
    const unsigned char lengthBytes[4] = {static_cast<unsigned char>(length >> 24), static_cast<unsigned char>(length >> 16),
                                          static_cast<unsigned char>(length >> 8), static_cast<unsigned char>(length)};
    png.append(reinterpret_cast<const char *>(lengthBytes), 4);
    std::string body = std::string(type, 4) + data;
    png += body;
    const uLong crc = crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef *>(body.data()), uInt(body.size()));
    const unsigned char crcBytes[4] = {static_cast<unsigned char>(crc >> 24), static_cast<unsigned char>(crc >> 16),
                                       static_cast<unsigned char>(crc >> 8), static_cast<unsigned char>(crc)};
    png.append(reinterpret_cast<const char *>(crcBytes), 4);
}
} // namespace

std::string encodePng(int width, int height, const std::string &rgb)
{
    std::string raw;
    raw.reserve(size_t(height) * (size_t(width) * 3 + 1));
    for (int y = 0; y < height; ++y) {
        raw.push_back('\0'); // filter: none
        raw.append(rgb, size_t(y) * size_t(width) * 3, size_t(width) * 3);
    }
    uLongf compressedSize = compressBound(uLong(raw.size()));
    std::string compressed(compressedSize, '\0');
    if (compress2(reinterpret_cast<Bytef *>(compressed.data()), &compressedSize,
                  reinterpret_cast<const Bytef *>(raw.data()), uLong(raw.size()), 6)
        != Z_OK)
        return std::string();
    compressed.resize(compressedSize);

    std::string header(13, '\0');
    const uint32_t w = uint32_t(width), h = uint32_t(height);
    for (int i = 0; i < 4; ++i) {
        header[size_t(i)] = char((w >> (24 - 8 * i)) & 0xFF);
        header[size_t(4 + i)] = char((h >> (24 - 8 * i)) & 0xFF);
    }
    header[8] = 8; // bit depth
    header[9] = 2; // colour type: RGB
    std::string png("\x89PNG\r\n\x1a\n", 8);
    appendChunk(png, "IHDR", header);
    appendChunk(png, "IDAT", compressed);
    appendChunk(png, "IEND", std::string());
    return png;
}

std::string Captcha::randomText()
{
    std::string text;
    for (int i = 0; i < kLength; ++i)
        text.push_back(kAlphabet[randombytes_uniform(sizeof kAlphabet - 1)]);
    return text;
}

std::string Captcha::render(const std::string &text)
{
    std::string rgb(size_t(kWidth) * kHeight * 3, '\0');
    auto put = [&rgb](int x, int y, int r, int g, int b) {
        if (x < 0 || y < 0 || x >= kWidth || y >= kHeight)
            return;
        const size_t at = (size_t(y) * kWidth + size_t(x)) * 3;
        rgb[at] = char(r);
        rgb[at + 1] = char(g);
        rgb[at + 2] = char(b);
    };
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const int shade = randomBetween(232, 255);
            put(x, y, shade, shade, randomBetween(236, 255));
        }
    }
    // Noise lines behind the letters.
    for (int line = 0; line < 4; ++line) {
        const int x0 = randomBetween(0, kWidth / 3), y0 = randomBetween(0, kHeight - 1);
        const int x1 = randomBetween(2 * kWidth / 3, kWidth - 1), y1 = randomBetween(0, kHeight - 1);
        const int r = randomBetween(120, 200), g = randomBetween(120, 200), b = randomBetween(120, 200);
        const int steps = x1 - x0;
        for (int s = 0; s <= steps; ++s)
            put(x0 + s, y0 + (y1 - y0) * s / (steps ? steps : 1), r, g, b);
    }
    const int scale = 3;
    const int cellWidth = kWidth / kLength;
    for (size_t i = 0; i < text.size() && i < size_t(kLength); ++i) {
        const Glyph *glyph = glyphOf(text[i]);
        if (!glyph)
            continue;
        const int left = int(i) * cellWidth + randomBetween(2, cellWidth - 5 * scale - 2);
        const int top = randomBetween(2, kHeight - 7 * scale - 2);
        const int slant = randomBetween(-2, 2); // pixels of shift per glyph row
        const int r = randomBetween(0, 110), g = randomBetween(0, 110), b = randomBetween(0, 110);
        for (int row = 0; row < 7; ++row) {
            for (int column = 0; column < 5; ++column) {
                if (glyph->rows[row][column] != '#')
                    continue;
                for (int dy = 0; dy < scale; ++dy) {
                    for (int dx = 0; dx < scale; ++dx) {
                        const int shift = slant * (3 - row) / 2;
                        put(left + column * scale + dx + shift, top + row * scale + dy, r, g, b);
                    }
                }
            }
        }
    }
    // Speckles over everything.
    for (int dot = 0; dot < 120; ++dot) {
        const int shade = randomBetween(60, 220);
        put(randomBetween(0, kWidth - 1), randomBetween(0, kHeight - 1), shade, shade, shade);
    }
    return encodePng(kWidth, kHeight, rgb);
}

bool Captcha::matches(const std::string &expected, const std::string &given)
{
    if (expected.empty() || expected.size() != given.size())
        return false;
    unsigned char difference = 0;
    for (size_t i = 0; i < expected.size(); ++i)
        difference |= static_cast<unsigned char>(std::tolower(static_cast<unsigned char>(expected[i]))
                                                  ^ std::tolower(static_cast<unsigned char>(given[i])));
    return difference == 0;
}

} // namespace server
