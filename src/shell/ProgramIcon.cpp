#include "shell/ProgramIcon.h"

#include <algorithm>
#include <cmath>

namespace pelorix
{

namespace
{

// A straight (not premultiplied) colour: channels 0..255, alpha 0..1.
struct Colour {
    double r, g, b, a;
};

// A premultiplied pixel, channels 0..1.
struct Pixel {
    double r = 0, g = 0, b = 0, a = 0;
};

void paintOver(Pixel &pixel, const Colour &colour, double coverage)
{
    const double alpha = colour.a * coverage;
    if (alpha <= 0)
        return;
    pixel.r = colour.r / 255 * alpha + pixel.r * (1 - alpha);
    pixel.g = colour.g / 255 * alpha + pixel.g * (1 - alpha);
    pixel.b = colour.b / 255 * alpha + pixel.b * (1 - alpha);
    pixel.a = alpha + pixel.a * (1 - alpha);
}

// The share of a pixel covered by a shape whose edge is signedDistance pixels away from the pixel's
// centre (negative inside): a one-pixel ramp across the edge smooths it at every size.
double coverage(double signedDistance)
{
    return std::clamp(0.5 - signedDistance, 0.0, 1.0);
}

double distanceToSegment(double x, double y, double ax, double ay, double bx, double by)
{
    const double dx = bx - ax;
    const double dy = by - ay;
    const double length2 = dx * dx + dy * dy;
    const double t = length2 > 0 ? std::clamp(((x - ax) * dx + (y - ay) * dy) / length2, 0.0, 1.0) : 0.0;
    return std::hypot(x - (ax + t * dx), y - (ay + t * dy));
}

Colour mix(const Colour &from, const Colour &to, double t)
{
    t = std::clamp(t, 0.0, 1.0);
    return {from.r + (to.r - from.r) * t, from.g + (to.g - from.g) * t, from.b + (to.b - from.b) * t,
            from.a + (to.a - from.a) * t};
}

std::uint8_t channel(double value)
{
    return static_cast<std::uint8_t>(std::lround(std::clamp(value, 0.0, 1.0) * 255));
}

} // namespace

RgbaImage drawProgramIcon(int size)
{
    RgbaImage image;
    if (size < 1 || size > 1024)
        return image;
    image.width = size;
    image.height = size;
    image.pixels.resize(static_cast<std::size_t>(size) * size * 4);

    const double s = size;
    const double centre = s / 2;
    const double radius = s * 0.47;
    const double rimWidth = std::max(1.0, s / 20);
    const double ringWidth = std::max(1.0, s / 40);
    const double beamWidth = std::max(1.2, s / 22);
    // The beam points up and to the right; the sweep trails it counter-clockwise over 65 degrees.
    const double beamAngle = 45.0;
    const double sweepDegrees = 360.0 * 0.18;
    const double beamX = centre + std::cos(beamAngle * M_PI / 180) * radius * 0.92;
    const double beamY = centre - std::sin(beamAngle * M_PI / 180) * radius * 0.92;

    const Colour glassCentre{10, 60, 40, 1};
    const Colour glassEdge{2, 18, 12, 1};
    const Colour rim{170, 235, 190, 1};
    const Colour sweep{90, 255, 140, 200.0 / 255};
    const Colour ring{90, 200, 120, 170.0 / 255};
    const Colour beam{200, 255, 210, 1};
    const Colour contact{255, 220, 60, 1};
    const Colour faintContact{220, 255, 230, 1};

    for (int row = 0; row < size; ++row) {
        for (int column = 0; column < size; ++column) {
            const double x = column + 0.5;
            const double y = row + 0.5;
            const double fromCentre = std::hypot(x - centre, y - centre);
            Pixel pixel;

            // The scope: a dark disc with a bright rim.
            paintOver(pixel, mix(glassCentre, glassEdge, fromCentre / radius), coverage(fromCentre - radius));
            paintOver(pixel, rim, coverage(std::abs(fromCentre - radius) - rimWidth / 2));

            // The sweep: a wedge behind the beam, fading as it trails.
            double angle = std::atan2(centre - y, x - centre) * 180 / M_PI - beamAngle;
            angle = std::fmod(angle + 720.0, 360.0);
            if (angle < sweepDegrees) {
                const Colour faded{sweep.r, sweep.g, sweep.b, sweep.a * (1 - angle / sweepDegrees)};
                paintOver(pixel, faded, coverage(fromCentre - radius * 0.94));
            }

            // Range rings and a cross of bearings.
            paintOver(pixel, ring, coverage(std::abs(fromCentre - radius * 0.62) - ringWidth / 2));
            if (size >= 24)
                paintOver(pixel, ring, coverage(std::abs(fromCentre - radius * 0.3) - ringWidth / 2));
            paintOver(
                pixel, ring,
                coverage(distanceToSegment(x, y, centre, centre - radius, centre, centre + radius) - ringWidth / 2));
            paintOver(
                pixel, ring,
                coverage(distanceToSegment(x, y, centre - radius, centre, centre + radius, centre) - ringWidth / 2));

            // The beam and two contacts.
            paintOver(pixel, beam, coverage(distanceToSegment(x, y, centre, centre, beamX, beamY) - beamWidth / 2));
            paintOver(
                pixel, contact,
                coverage(std::hypot(x - (centre + radius * 0.42), y - (centre - radius * 0.12)) - (s / 16 + 0.6)));
            paintOver(pixel, faintContact,
                      coverage(std::hypot(x - (centre - radius * 0.3), y - (centre - radius * 0.5)) - (s / 22 + 0.5)));

            std::uint8_t *out = &image.pixels[(static_cast<std::size_t>(row) * size + column) * 4];
            const double alpha = pixel.a;
            out[0] = alpha > 0 ? channel(pixel.r / alpha) : 0;
            out[1] = alpha > 0 ? channel(pixel.g / alpha) : 0;
            out[2] = alpha > 0 ? channel(pixel.b / alpha) : 0;
            out[3] = channel(alpha);
        }
    }
    return image;
}

} // namespace pelorix
