#include "server/access/Captcha.h"

#include <sodium.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstring>
#include <vector>

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

const char *const *Captcha::glyphRows(char letter)
{
    const Glyph *glyph = glyphOf(letter);
    return glyph ? glyph->rows : nullptr;
}

std::string Captcha::render(const std::string &text)
{
    return encodePng(kWidth, kHeight, draw(text));
}

std::string Captcha::draw(const std::string &text)
{
    // One letter: its strokes (segments between neighbouring cells of the font, in cell units)
    // and where they land: picture = centre + rotation(scale * (cell - middle) with a slant).
    struct Letter {
        std::vector<std::array<double, 4>> strokes;
        double centreX = 0, centreY = 0, scaleX = 1, scaleY = 1, cosine = 1, sine = 0, slant = 0, radius = 0.5;
        int r = 0, g = 0, b = 0;
    };
    const auto uniform = [](double low, double high) {
        return low + (high - low) * double(randombytes_uniform(1000001)) / 1000000.0;
    };
    const size_t count = std::min(text.size(), size_t(kLength));
    std::vector<Letter> letters;
    for (size_t i = 0; i < count; ++i) {
        Letter letter;
        if (const Glyph *glyph = glyphOf(text[i])) {
            const auto on = [glyph](int column, int row) {
                return column >= 0 && column < 5 && row >= 0 && row < 7 && glyph->rows[row][column] == '#';
            };
            for (int row = 0; row < 7; ++row) {
                for (int column = 0; column < 5; ++column) {
                    if (!on(column, row))
                        continue;
                    letter.strokes.push_back({double(column), double(row), double(column), double(row)});
                    // Right, down and the diagonals, but no diagonal beside a straight join.
                    if (on(column + 1, row))
                        letter.strokes.push_back({double(column), double(row), double(column + 1), double(row)});
                    if (on(column, row + 1))
                        letter.strokes.push_back({double(column), double(row), double(column), double(row + 1)});
                    if (on(column + 1, row + 1) && !on(column + 1, row) && !on(column, row + 1))
                        letter.strokes.push_back({double(column), double(row), double(column + 1), double(row + 1)});
                    if (on(column - 1, row + 1) && !on(column - 1, row) && !on(column, row + 1))
                        letter.strokes.push_back({double(column), double(row), double(column - 1), double(row + 1)});
                }
            }
        }
        letter.scaleX = uniform(3.4, 4.6);
        letter.scaleY = uniform(2.9, 3.5);
        const double angle = uniform(-0.3, 0.3);
        letter.cosine = std::cos(angle);
        letter.sine = std::sin(angle);
        letter.slant = uniform(-0.35, 0.35);
        letter.radius = uniform(0.4, 0.62);
        letter.r = randomBetween(10, 120);
        letter.g = randomBetween(10, 120);
        letter.b = randomBetween(10, 120);
        letters.push_back(std::move(letter));
    }

    // Waves that bend the whole picture; the margin keeps every letter inside it after them.
    const double waveX = uniform(0.8, 1.8), waveY = uniform(0.8, 1.6);
    const double periodX = uniform(14, 24), periodY = uniform(20, 36);
    const double phaseX = uniform(0, 6.283), phaseY = uniform(0, 6.283);
    const double margin = std::max(waveX, waveY) + 1.5;

    // The half-extent of a letter's box in the picture, strokes included.
    const auto extent = [](const Letter &letter, double *halfWidth, double *halfHeight) {
        *halfWidth = *halfHeight = 0;
        for (double u : {-2.5 - letter.radius, 2.5 + letter.radius}) {
            for (double v : {-3.5 - letter.radius, 3.5 + letter.radius}) {
                const double x = letter.scaleX * (u + letter.slant * v);
                const double y = letter.scaleY * v;
                *halfWidth = std::max(*halfWidth, std::abs(letter.cosine * x - letter.sine * y));
                *halfHeight = std::max(*halfHeight, std::abs(letter.sine * x + letter.cosine * y));
            }
        }
    };
    // Side by side with overlaps; shrunk until the row fits.
    for (int attempt = 0; attempt < 20; ++attempt) {
        double x = margin;
        bool fits = true;
        for (Letter &letter : letters) {
            double halfWidth = 0, halfHeight = 0;
            extent(letter, &halfWidth, &halfHeight);
            const double overlap = &letter == &letters.front() ? 0 : uniform(0.06, 0.2) * halfWidth * 2;
            letter.centreX = x - overlap + halfWidth;
            x = letter.centreX + halfWidth;
            const double room = kHeight / 2.0 - margin - halfHeight;
            fits = fits && room >= 0;
            letter.centreY = kHeight / 2.0 + (room > 0 ? uniform(-room, room) : 0);
        }
        const double spare = kWidth - margin - x;
        if (fits && spare >= 0) {
            const double shift = uniform(0, spare);
            for (Letter &letter : letters)
                letter.centreX += shift;
            break;
        }
        for (Letter &letter : letters) {
            letter.scaleX *= 0.93;
            letter.scaleY *= 0.95;
        }
    }

    std::string rgb(size_t(kWidth) * kHeight * 3, '\0');
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const int shade = randomBetween(225, 255);
            const size_t at = (size_t(y) * kWidth + size_t(x)) * 3;
            rgb[at] = char(shade);
            rgb[at + 1] = char(randomBetween(225, 255));
            rgb[at + 2] = char(randomBetween(225, 255));
        }
    }
    const auto segmentDistance = [](double px, double py, const std::array<double, 4> &s) {
        const double dx = s[2] - s[0], dy = s[3] - s[1];
        const double length = dx * dx + dy * dy;
        double t = length > 0 ? ((px - s[0]) * dx + (py - s[1]) * dy) / length : 0;
        t = std::max(0.0, std::min(1.0, t));
        const double ex = s[0] + t * dx - px, ey = s[1] + t * dy - py;
        return std::sqrt(ex * ex + ey * ey);
    };
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            // Where this pixel comes from before the waves.
            const double sx = x + 0.5 + waveX * std::sin(6.283 * y / periodX + phaseX);
            const double sy = y + 0.5 + waveY * std::sin(6.283 * x / periodY + phaseY);
            for (const Letter &letter : letters) {
                const double dx = sx - letter.centreX, dy = sy - letter.centreY;
                // Undo rotation, then scale and slant, into the font's cells.
                const double rx = letter.cosine * dx + letter.sine * dy;
                const double ry = -letter.sine * dx + letter.cosine * dy;
                const double v = ry / letter.scaleY;
                const double u = rx / letter.scaleX - letter.slant * v;
                if (std::abs(u) > 3.5 || std::abs(v) > 4.5)
                    continue;
                double nearest = 1e9;
                for (const auto &stroke : letter.strokes)
                    nearest = std::min(nearest, segmentDistance(u + 2.0, v + 3.0, stroke));
                if (nearest > letter.radius)
                    continue;
                const size_t at = (size_t(y) * kWidth + size_t(x)) * 3;
                rgb[at] = char(letter.r);
                rgb[at + 1] = char(letter.g);
                rgb[at + 2] = char(letter.b);
            }
        }
    }
    // Two curves through the letters, in their colours, and speckles.
    for (int line = 0; line < 2 && !letters.empty(); ++line) {
        const Letter &colour = letters[size_t(randomBetween(0, int(letters.size()) - 1))];
        const double base = uniform(kHeight * 0.3, kHeight * 0.7);
        const double amplitude = uniform(2, 6), period = uniform(40, 80), phase = uniform(0, 6.283);
        for (int x = 0; x < kWidth; ++x) {
            const int y = int(base + amplitude * std::sin(6.283 * x / period + phase));
            for (int dy = 0; dy < 1; ++dy) {
                if (y + dy < 0 || y + dy >= kHeight)
                    continue;
                const size_t at = (size_t(y + dy) * kWidth + size_t(x)) * 3;
                rgb[at] = char(colour.r);
                rgb[at + 1] = char(colour.g);
                rgb[at + 2] = char(colour.b);
            }
        }
    }
    for (int dot = 0; dot < 90; ++dot) {
        const int shade = randomBetween(60, 200);
        const size_t at = (size_t(randomBetween(0, kHeight - 1)) * kWidth + size_t(randomBetween(0, kWidth - 1))) * 3;
        rgb[at] = rgb[at + 1] = rgb[at + 2] = char(shade);
    }
    return rgb;
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
