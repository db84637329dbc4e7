// pelorix-mapgen: draws a picture for every map name, for the demo's maps folder.
//
//     pelorix-mapgen OUTPUT_FOLDER NAMES_FILE
//
// Writes OUTPUT_FOLDER/<name>.jpg (256 x 192) for each line of NAMES_FILE, plus none.jpg. Each
// picture is a landscape seen from above, its shape and colours seeded by the map's name, with the
// name written at the bottom. The same name always gives the same picture.

#include "core/Text.h"
#include "platform/AtomicFile.h"
#include "view/MapPicture.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

using pelorix::RgbImage;

namespace
{

constexpr int kWidth = 256;
constexpr int kHeight = 192;

struct Colour {
    int r, g, b;
};

Colour mix(Colour a, Colour b, double t)
{
    t = std::clamp(t, 0.0, 1.0);
    return {static_cast<int>(a.r + (b.r - a.r) * t), static_cast<int>(a.g + (b.g - a.g) * t),
            static_cast<int>(a.b + (b.b - a.b) * t)};
}

// A small deterministic generator (xorshift) so pictures never depend on the standard library's.
class Random
{
  public:
    explicit Random(std::uint64_t seed)
        : m_state(seed ? seed : 0x9E3779B97F4A7C15ull)
    {
    }
    std::uint64_t next()
    {
        m_state ^= m_state << 13;
        m_state ^= m_state >> 7;
        m_state ^= m_state << 17;
        return m_state;
    }
    double unit() { return static_cast<double>(next() >> 11) / 9007199254740992.0; }
    int below(int n) { return static_cast<int>(next() % static_cast<std::uint64_t>(n)); }

  private:
    std::uint64_t m_state;
};

std::uint64_t hashName(const std::string &name)
{
    std::uint64_t hash = 14695981039346656037ull;
    for (unsigned char c : name) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    return hash;
}

// Value noise: random heights on a lattice, smoothly interpolated, summed over octaves.
class Noise
{
  public:
    explicit Noise(Random &random)
    {
        for (auto &v : m_lattice)
            v = random.unit();
    }
    double at(double x, double y) const
    {
        double sum = 0, amplitude = 1, total = 0;
        for (int octave = 0; octave < 5; ++octave) {
            sum += amplitude * smooth(x, y);
            total += amplitude;
            x *= 2.03;
            y *= 2.03;
            amplitude *= 0.5;
        }
        return sum / total;
    }

  private:
    static double fade(double t) { return t * t * (3 - 2 * t); }
    double lattice(int x, int y) const { return m_lattice[static_cast<std::size_t>((x & 63) + 64 * (y & 63))]; }
    double smooth(double x, double y) const
    {
        const int x0 = static_cast<int>(std::floor(x));
        const int y0 = static_cast<int>(std::floor(y));
        const double fx = fade(x - x0);
        const double fy = fade(y - y0);
        const double top = lattice(x0, y0) + (lattice(x0 + 1, y0) - lattice(x0, y0)) * fx;
        const double bottom = lattice(x0, y0 + 1) + (lattice(x0 + 1, y0 + 1) - lattice(x0, y0 + 1)) * fx;
        return top + (bottom - top) * fy;
    }
    std::array<double, 64 * 64> m_lattice{};
};

// Colour bands from deep to high ground.
struct Theme {
    Colour deep, shallow, shore, low, high, peak;
    double waterLevel;
};

const Theme kThemes[] = {
    {{20, 40, 90}, {40, 90, 150}, {200, 190, 140}, {70, 130, 50}, {60, 90, 40}, {230, 230, 225}, 0.42},     // temperate
    {{60, 40, 20}, {120, 80, 40}, {220, 190, 120}, {210, 170, 100}, {170, 120, 70}, {240, 220, 180}, 0.30}, // desert
    {{30, 50, 80}, {70, 110, 150}, {180, 190, 200}, {220, 225, 235}, {160, 170, 185}, {250, 250, 255}, 0.38}, // ice
    {{40, 5, 0}, {200, 60, 10}, {255, 160, 30}, {60, 50, 50}, {35, 30, 32}, {90, 80, 80}, 0.36},              // lava
    {{10, 10, 30}, {40, 20, 80}, {120, 60, 160}, {60, 140, 130}, {40, 80, 100}, {200, 240, 230}, 0.40},       // alien
    {{10, 60, 110}, {30, 140, 180}, {240, 220, 160}, {50, 150, 70}, {30, 100, 50}, {120, 110, 100}, 0.55},    // islands
    {{40, 40, 45}, {70, 70, 80}, {110, 110, 115}, {130, 125, 120}, {90, 88, 85}, {170, 170, 165}, 0.33}, // urban rubble
};

Colour groundColour(const Theme &theme, double h)
{
    if (h < theme.waterLevel)
        return mix(theme.deep, theme.shallow, h / theme.waterLevel);
    const double land = (h - theme.waterLevel) / (1 - theme.waterLevel);
    if (land < 0.06)
        return mix(theme.shore, theme.low, land / 0.06);
    if (land < 0.55)
        return mix(theme.low, theme.high, (land - 0.06) / 0.49);
    return mix(theme.high, theme.peak, (land - 0.55) / 0.45);
}

class Canvas
{
  public:
    Canvas()
    {
        m_image.width = kWidth;
        m_image.height = kHeight;
        m_image.pixels.assign(static_cast<std::size_t>(kWidth) * kHeight * 3, 0);
    }
    void set(int x, int y, Colour c)
    {
        if (x < 0 || y < 0 || x >= kWidth || y >= kHeight)
            return;
        std::uint8_t *p = &m_image.pixels[(static_cast<std::size_t>(y) * kWidth + x) * 3];
        p[0] = static_cast<std::uint8_t>(std::clamp(c.r, 0, 255));
        p[1] = static_cast<std::uint8_t>(std::clamp(c.g, 0, 255));
        p[2] = static_cast<std::uint8_t>(std::clamp(c.b, 0, 255));
    }
    Colour get(int x, int y) const
    {
        const std::uint8_t *p = &m_image.pixels[(static_cast<std::size_t>(y) * kWidth + x) * 3];
        return {p[0], p[1], p[2]};
    }
    void blend(int x, int y, Colour c, double alpha)
    {
        if (x < 0 || y < 0 || x >= kWidth || y >= kHeight)
            return;
        set(x, y, mix(get(x, y), c, alpha));
    }
    void fillRect(int x0, int y0, int w, int h, Colour c, double alpha = 1.0)
    {
        for (int y = y0; y < y0 + h; ++y)
            for (int x = x0; x < x0 + w; ++x)
                blend(x, y, c, alpha);
    }
    const RgbImage &image() const { return m_image; }

  private:
    RgbImage m_image;
};

// A 5 x 7 bitmap font, one byte per column, bit 0 at the top, for the characters ' ' to '_'.
constexpr std::uint8_t kFont[][5] = {
    {0x00, 0x00, 0x00, 0x00, 0x00}, {0x00, 0x00, 0x5F, 0x00, 0x00}, {0x00, 0x07, 0x00, 0x07, 0x00},
    {0x14, 0x7F, 0x14, 0x7F, 0x14}, {0x24, 0x2A, 0x7F, 0x2A, 0x12}, {0x23, 0x13, 0x08, 0x64, 0x62},
    {0x36, 0x49, 0x55, 0x22, 0x50}, {0x00, 0x05, 0x03, 0x00, 0x00}, {0x00, 0x1C, 0x22, 0x41, 0x00},
    {0x00, 0x41, 0x22, 0x1C, 0x00}, {0x08, 0x2A, 0x1C, 0x2A, 0x08}, {0x08, 0x08, 0x3E, 0x08, 0x08},
    {0x00, 0x50, 0x30, 0x00, 0x00}, {0x08, 0x08, 0x08, 0x08, 0x08}, {0x00, 0x60, 0x60, 0x00, 0x00},
    {0x20, 0x10, 0x08, 0x04, 0x02}, {0x3E, 0x51, 0x49, 0x45, 0x3E}, {0x00, 0x42, 0x7F, 0x40, 0x00},
    {0x42, 0x61, 0x51, 0x49, 0x46}, {0x21, 0x41, 0x45, 0x4B, 0x31}, {0x18, 0x14, 0x12, 0x7F, 0x10},
    {0x27, 0x45, 0x45, 0x45, 0x39}, {0x3C, 0x4A, 0x49, 0x49, 0x30}, {0x01, 0x71, 0x09, 0x05, 0x03},
    {0x36, 0x49, 0x49, 0x49, 0x36}, {0x06, 0x49, 0x49, 0x29, 0x1E}, {0x00, 0x36, 0x36, 0x00, 0x00},
    {0x00, 0x56, 0x36, 0x00, 0x00}, {0x00, 0x08, 0x14, 0x22, 0x41}, {0x14, 0x14, 0x14, 0x14, 0x14},
    {0x41, 0x22, 0x14, 0x08, 0x00}, {0x02, 0x01, 0x51, 0x09, 0x06}, {0x32, 0x49, 0x79, 0x41, 0x3E},
    {0x7E, 0x11, 0x11, 0x11, 0x7E}, {0x7F, 0x49, 0x49, 0x49, 0x36}, {0x3E, 0x41, 0x41, 0x41, 0x22},
    {0x7F, 0x41, 0x41, 0x22, 0x1C}, {0x7F, 0x49, 0x49, 0x49, 0x41}, {0x7F, 0x09, 0x09, 0x01, 0x01},
    {0x3E, 0x41, 0x41, 0x51, 0x32}, {0x7F, 0x08, 0x08, 0x08, 0x7F}, {0x00, 0x41, 0x7F, 0x41, 0x00},
    {0x20, 0x40, 0x41, 0x3F, 0x01}, {0x7F, 0x08, 0x14, 0x22, 0x41}, {0x7F, 0x40, 0x40, 0x40, 0x40},
    {0x7F, 0x02, 0x04, 0x02, 0x7F}, {0x7F, 0x04, 0x08, 0x10, 0x7F}, {0x3E, 0x41, 0x41, 0x41, 0x3E},
    {0x7F, 0x09, 0x09, 0x09, 0x06}, {0x3E, 0x41, 0x51, 0x21, 0x5E}, {0x7F, 0x09, 0x19, 0x29, 0x46},
    {0x46, 0x49, 0x49, 0x49, 0x31}, {0x01, 0x01, 0x7F, 0x01, 0x01}, {0x3F, 0x40, 0x40, 0x40, 0x3F},
    {0x1F, 0x20, 0x40, 0x20, 0x1F}, {0x7F, 0x20, 0x18, 0x20, 0x7F}, {0x63, 0x14, 0x08, 0x14, 0x63},
    {0x03, 0x04, 0x78, 0x04, 0x03}, {0x61, 0x51, 0x49, 0x45, 0x43}, {0x00, 0x7F, 0x41, 0x41, 0x00},
    {0x02, 0x04, 0x08, 0x10, 0x20}, {0x00, 0x41, 0x41, 0x7F, 0x00}, {0x04, 0x02, 0x01, 0x02, 0x04},
    {0x40, 0x40, 0x40, 0x40, 0x40},
};

const std::uint8_t *glyph(char c)
{
    if (c >= 'a' && c <= 'z')
        c = static_cast<char>(c - 'a' + 'A');
    if (c < ' ' || c > '_')
        c = '?';
    return kFont[c - ' '];
}

// Text centred on a horizontal line, with a one-pixel dark outline so it reads on any ground.
void drawText(Canvas &canvas, const std::string &text, int centreY, int scale, Colour colour)
{
    const int advance = 6 * scale;
    const int width = static_cast<int>(text.size()) * advance - scale;
    const int left = (kWidth - width) / 2;
    const int top = centreY - 7 * scale / 2;
    for (int pass = 0; pass < 2; ++pass) {
        for (std::size_t i = 0; i < text.size(); ++i) {
            const std::uint8_t *columns = glyph(text[i]);
            for (int col = 0; col < 5; ++col) {
                for (int row = 0; row < 7; ++row) {
                    if (!(columns[col] >> row & 1))
                        continue;
                    const int x = left + static_cast<int>(i) * advance + col * scale;
                    const int y = top + row * scale;
                    if (pass == 0)
                        canvas.fillRect(x - 1, y - 1, scale + 2, scale + 2, {0, 0, 0});
                    else
                        canvas.fillRect(x, y, scale, scale, colour);
                }
            }
        }
    }
}

void drawCaption(Canvas &canvas, const std::string &text)
{
    canvas.fillRect(0, kHeight - 26, kWidth, 26, {0, 0, 0}, 0.55);
    const int scale = static_cast<int>(text.size()) * 12 <= kWidth - 8 ? 2 : 1;
    drawText(canvas, text, kHeight - 13, scale, {255, 255, 255});
}

RgbImage mapPicture(const std::string &name)
{
    Random random(hashName(name));
    const Theme &theme = kThemes[random.below(static_cast<int>(std::size(kThemes)))];
    const Noise noise(random);
    const double zoom = 3.0 + random.unit() * 4.0;
    const double offsetX = random.unit() * 40;
    const double offsetY = random.unit() * 40;

    std::vector<double> height(static_cast<std::size_t>(kWidth) * kHeight);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            height[static_cast<std::size_t>(y) * kWidth + x] =
                noise.at(offsetX + x * zoom / kWidth, offsetY + y * zoom / kWidth);
    // Stretch the heights to the full range so every picture has water, land and peaks in proportion.
    const auto [lowest, highest] = std::minmax_element(height.begin(), height.end());
    const double low = *lowest;
    const double span = std::max(1e-6, *highest - low);
    for (double &h : height)
        h = (h - low) / span;

    Canvas canvas;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const double h = height[static_cast<std::size_t>(y) * kWidth + x];
            Colour c = groundColour(theme, h);
            if (h >= theme.waterLevel && x > 0 && y > 0) {
                // Light from the upper left.
                const double slope = h - height[static_cast<std::size_t>(y - 1) * kWidth + x - 1];
                const double light = std::clamp(1.0 + slope * 9.0, 0.6, 1.4);
                c = {static_cast<int>(c.r * light), static_cast<int>(c.g * light), static_cast<int>(c.b * light)};
            }
            canvas.set(x, y, c);
        }
    }

    // Bases: a few square compounds on dry ground, joined by roads.
    std::vector<std::pair<int, int>> bases;
    for (int attempt = 0; attempt < 200 && bases.size() < 2u + static_cast<std::size_t>(random.below(3)); ++attempt) {
        const int x = 20 + random.below(kWidth - 40);
        const int y = 16 + random.below(kHeight - 60);
        if (height[static_cast<std::size_t>(y) * kWidth + x] > theme.waterLevel + 0.05)
            bases.emplace_back(x, y);
    }
    const Colour road{90, 80, 70};
    for (std::size_t i = 1; i < bases.size(); ++i) {
        const auto [x0, y0] = bases[i - 1];
        const auto [x1, y1] = bases[i];
        const int steps = std::max(std::abs(x1 - x0), std::abs(y1 - y0));
        for (int s = 0; s <= steps; ++s) {
            const int x = x0 + (x1 - x0) * s / std::max(1, steps);
            const int y = y0 + (y1 - y0) * s / std::max(1, steps);
            canvas.fillRect(x - 1, y - 1, 3, 3, road, 0.7);
        }
    }
    const Colour teams[] = {{200, 40, 40}, {40, 90, 220}, {230, 200, 40}, {60, 200, 90}};
    for (std::size_t i = 0; i < bases.size(); ++i) {
        const auto [x, y] = bases[i];
        canvas.fillRect(x - 8, y - 8, 17, 17, {40, 40, 40}, 0.8);
        canvas.fillRect(x - 6, y - 6, 13, 13, {150, 150, 145});
        canvas.fillRect(x - 3, y - 3, 7, 7, teams[i % std::size(teams)]);
    }
    drawCaption(canvas, name);
    return canvas.image();
}

RgbImage nonePicture()
{
    Canvas canvas;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            // A faint diagonal hatch on grey.
            const int shade = ((x + y) / 8) % 2 ? 112 : 104;
            canvas.set(x, y, {shade, shade, shade});
        }
    canvas.fillRect(16, 60, kWidth - 32, 72, {60, 60, 60}, 0.8);
    drawText(canvas, "NO PICTURE", 96, 3, {200, 200, 200});
    return canvas.image();
}

bool validName(const std::string &name)
{
    return !name.empty() && name.find_first_of("/\\") == std::string::npos && name.find("..") == std::string::npos;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s OUTPUT_FOLDER NAMES_FILE\n", argv[0]);
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    std::string names;
    if (!pelorix::readWholeFile(argv[2], names)) {
        std::fprintf(stderr, "%s: cannot read %s\n", argv[0], argv[2]);
        return 1;
    }
    int failures = 0;
    if (!pelorix::encodeJpegFile((folder / "none.jpg").string(), nonePicture(), 85))
        ++failures;
    for (const std::string &text : pelorix::splitLines(names)) {
        const std::string line(pelorix::trimTrailingBlanks(text));
        if (line.empty() || line.front() == '#')
            continue;
        if (!validName(line)) {
            std::fprintf(stderr, "%s: skipping map name \"%s\"\n", argv[0], line.c_str());
            continue;
        }
        if (!pelorix::encodeJpegFile((folder / (line + ".jpg")).string(), mapPicture(line), 85))
            ++failures;
    }
    if (failures) {
        std::fprintf(stderr, "%s: %d pictures could not be written in %s\n", argv[0], failures, argv[1]);
        return 1;
    }
    return 0;
}
