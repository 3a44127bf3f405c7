#include "tools/art/tile_design.hpp"

#include <cmath>
#include <cstdio>

// Only +, -, *, / and sqrt (all exactly rounded) and floor are used on doubles, with our own
// sine and arc tangent, so the pictures come out byte for byte the same on every machine.

namespace {

// ---- The frame ------------------------------------------------------------------------------

enum Side { side_left, side_top, side_right, side_bottom };

// The grey of each side by depth, counted from that side's outer edge: rim, inner line, band,
// recess. Outside the face box the nearest side is at most 13 deep; depth 13 of the top and
// bottom occurs only on a mitre line.
const int32_t side_greys[4][14] = {
    {164, 164, 164, 177, 190, 190, 190, 190, 190, 190, 190, 90, 57, 57},
    {164, 164, 164, 176, 188, 188, 188, 188, 188, 188, 92, 60, 60, 60},
    {113, 113, 113, 141, 169, 169, 169, 169, 169, 169, 169, 146, 123, 123},
    {113, 113, 113, 139, 165, 165, 165, 165, 165, 165, 145, 125, 125, 125},
};

int32_t side_grey(int32_t side, int32_t depth) {
    return side_greys[side][depth];
}

ArtColour grey(int32_t level) {
    return ArtColour{level, level, level};
}

// Half-up rounding of (a * wa + b * wb) / (wa + wb) for non-negative values.
int32_t blend_channel(int32_t a, int32_t wa, int32_t b, int32_t wb) {
    const int32_t total = wa + wb;
    return (a * wa + b * wb + total / 2) / total;
}

ArtColour blend(ArtColour a, int32_t wa, ArtColour b, int32_t wb) {
    return ArtColour{blend_channel(a.red, wa, b.red, wb), blend_channel(a.green, wa, b.green, wb),
                     blend_channel(a.blue, wa, b.blue, wb)};
}

// The recess grey just outside each edge of the face box.
const ArtColour recess_left = grey(57);
const ArtColour recess_top = grey(60);
const ArtColour recess_right = grey(123);
const ArtColour recess_bottom = grey(125);

// A face pixel on the one-pixel ring of the face box takes some of the recess beside it:
// five eighths face on the left and right edges, one half on the top and bottom edges.
ArtColour face_edge(int32_t x, int32_t y, ArtColour face) {
    const bool on_left = x == face_left;
    const bool on_right = x == face_right;
    const bool on_top = y == face_top;
    const bool on_bottom = y == face_bottom;
    const bool on_side = on_left || on_right;
    const bool on_end = on_top || on_bottom;
    if (!on_side && !on_end) {
        return face;
    }
    const ArtColour across = blend(face, 5, on_left ? recess_left : recess_right, 3);
    const ArtColour down = blend(face, 1, on_top ? recess_top : recess_bottom, 1);
    if (on_side && on_end) {
        return blend(across, 1, down, 1);
    }
    return on_side ? across : down;
}

// ---- Deterministic arithmetic ----------------------------------------------------------------

constexpr double pi = 3.14159265358979323846;

double absolute(double value) {
    return value < 0 ? -value : value;
}

double clamp_unit(double value) {
    return value < 0 ? 0 : (value > 1 ? 1 : value);
}

double mix(double a, double b, double t) {
    return a + (b - a) * t;
}

double smooth_step(double edge0, double edge1, double value) {
    const double t = clamp_unit((value - edge0) / (edge1 - edge0));
    return t * t * (3 - 2 * t);
}

double wrap_angle(double angle) {
    while (angle >= pi) angle -= 2 * pi;
    while (angle < -pi) angle += 2 * pi;
    return angle;
}

double sine(double angle) {
    double a = wrap_angle(angle);
    if (a > pi / 2) {
        a = pi - a;
    } else if (a < -pi / 2) {
        a = -pi - a;
    }
    const double a2 = a * a;
    return a * (1 - a2 / 6 * (1 - a2 / 20 * (1 - a2 / 42 * (1 - a2 / 72 * (1 - a2 / 110)))));
}

double cosine(double angle) {
    return sine(angle + pi / 2);
}

// Arc tangent of t in [0, 1].
double arc_tangent_unit(double t) {
    constexpr double tan_pi_8 = 0.41421356237309504880;
    double offset = 0;
    if (t > tan_pi_8) {
        offset = pi / 4;
        t = (t - 1) / (t + 1);
    }
    const double t2 = t * t;
    double sum = 0;
    for (int32_t k = 10; k >= 0; --k) {
        sum = 1.0 / (2 * k + 1) - t2 * sum;
    }
    return offset + t * sum;
}

double arc_tangent2(double y, double x) {
    const double ax = absolute(x);
    const double ay = absolute(y);
    if (ax == 0 && ay == 0) {
        return 0;
    }
    double angle = ay <= ax ? arc_tangent_unit(ay / ax) : pi / 2 - arc_tangent_unit(ax / ay);
    if (x < 0)
        angle = pi - angle;
    return y < 0 ? -angle : angle;
}

// ---- Noise --------------------------------------------------------------------------------

uint32_t hash_point(int32_t x, int32_t y, uint32_t seed) {
    uint32_t h = seed * 0x9E3779B9u;
    h ^= static_cast<uint32_t>(x) * 0x85EBCA6Bu;
    h ^= static_cast<uint32_t>(y) * 0xC2B2AE35u;
    h ^= h >> 16;
    h *= 0x7FEB352Du;
    h ^= h >> 15;
    h *= 0x846CA68Bu;
    h ^= h >> 16;
    return h;
}

// A value in [0, 1) for a lattice point.
double lattice_value(int32_t x, int32_t y, uint32_t seed) {
    return static_cast<double>(hash_point(x, y, seed) >> 8) / 16777216.0;
}

// Smoothly interpolated lattice noise in [0, 1).
double value_noise(double x, double y, uint32_t seed) {
    const double fx = std::floor(x);
    const double fy = std::floor(y);
    const int32_t ix = static_cast<int32_t>(fx);
    const int32_t iy = static_cast<int32_t>(fy);
    const double tx = smooth_step(0, 1, x - fx);
    const double ty = smooth_step(0, 1, y - fy);
    const double top = mix(lattice_value(ix, iy, seed), lattice_value(ix + 1, iy, seed), tx);
    const double bottom =
        mix(lattice_value(ix, iy + 1, seed), lattice_value(ix + 1, iy + 1, seed), tx);
    return mix(top, bottom, ty);
}

// Three octaves, in [0, 1).
double fractal_noise(double x, double y, uint32_t seed) {
    return (value_noise(x, y, seed) * 4 + value_noise(x * 2, y * 2, seed + 1) * 2 +
            value_noise(x * 4, y * 4, seed + 2)) /
           7;
}

// The generator the petals' variations are drawn from (xorshift).
struct Random {
    uint32_t state;
};

double next_unit(Random& random) {
    uint32_t s = random.state;
    s ^= s << 13;
    s ^= s >> 17;
    s ^= s << 5;
    random.state = s;
    return static_cast<double>(s >> 8) / 16777216.0;
}

double next_between(Random& random, double low, double high) {
    return low + (high - low) * next_unit(random);
}

// ---- The sunflower ----------------------------------------------------------------------------

struct Shade {
    double red;
    double green;
    double blue;
};

Shade shade_mix(Shade a, Shade b, double t) {
    return Shade{mix(a.red, b.red, t), mix(a.green, b.green, t), mix(a.blue, b.blue, t)};
}

Shade shade_scale(Shade a, double factor) {
    return Shade{a.red * factor, a.green * factor, a.blue * factor};
}

struct Petal {
    double angle;       // direction from the disc's centre, picture angle (y downwards)
    double base;        // distance of the petal's root from the centre
    double length;      // root to tip
    double half_width;  // at the widest
    double bend;        // how far the tip swings aside, radians
    double tone;        // overall brightness
};

// The flower head: centre, disc radii and the two rings of petals (back ring first).
constexpr double centre_x = 17.6;
constexpr double centre_y = 15.4;
constexpr double disc_radius_x = 9.6;
constexpr double disc_radius_y = 9.1;
constexpr int32_t petals_per_ring = 19;

std::vector<Petal> make_petals() {
    Random random{0x5EED5u};
    std::vector<Petal> petals;
    for (int32_t ring = 0; ring < 2; ++ring) {
        const bool back = ring == 0;
        for (int32_t k = 0; k < petals_per_ring; ++k) {
            Petal petal{};
            const double step = 2 * pi / petals_per_ring;
            petal.angle =
                step * k + (back ? 0.05 : 0.05 + step / 2) + next_between(random, -0.09, 0.09);
            petal.base = back ? 7.0 : 7.8;
            petal.length =
                back ? next_between(random, 12.0, 15.0) : next_between(random, 10.5, 13.5);
            petal.half_width =
                back ? next_between(random, 2.3, 2.9) : next_between(random, 2.1, 2.7);
            petal.bend = next_between(random, -0.10, 0.10);
            petal.tone = back ? next_between(random, 0.44, 0.62) : next_between(random, 0.8, 0.98);
            petals.push_back(petal);
        }
    }
    return petals;
}

const Shade petal_bright{244, 194, 30};
const Shade petal_dark{104, 54, 4};

// Coverage (0 ... 1) of a petal at a point, and its colour there.
double petal_at(const Petal& petal, double px, double py, Shade& colour) {
    const double dx = px - centre_x;
    const double dy = py - centre_y;
    const double radius = std::sqrt(dx * dx + dy * dy);
    const double along_raw = radius - petal.base;
    if (along_raw < -1 || along_raw > petal.length + 1) {
        return 0;
    }
    const double t = along_raw / petal.length;
    const double angle = wrap_angle(arc_tangent2(dy, dx) - petal.angle - petal.bend * t * t);
    if (absolute(angle) > pi / 2) {
        return 0;
    }
    const double across = radius * sine(angle);
    const double along = radius * cosine(angle) - petal.base;
    const double tt = along / petal.length;
    if (tt <= 0 || tt >= 1) {
        return 0;
    }
    // Narrow root, widest a third of the way out, a pointed tip.
    const double width = petal.half_width * std::sqrt(sine(pi * tt)) * (1 - 0.35 * tt * tt);
    const double coverage =
        clamp_unit((width - absolute(across)) / 0.8 + 0.5) * clamp_unit(along / 0.8 + 0.3);
    if (coverage <= 0) {
        return 0;
    }
    const double side = clamp_unit(absolute(across) / (width + 0.01));
    // Darker at the root (in the disc's shadow) and at the rims, a faint groove down the
    // middle, fine veins, light from the top left.
    double light = petal.tone;
    light *= 0.62 + 0.38 * smooth_step(0.0, 0.45, tt);
    light *= 1 - 0.28 * side * side;
    light *= 1 - 0.10 * (1 - smooth_step(0.0, 0.18, side));
    light *= 0.95 + 0.05 * sine(across * 3.1 + petal.angle * 7);
    const double facing = -(cosine(petal.angle) * 0.6 + sine(petal.angle) * 0.8);
    light *= 0.96 + 0.07 * facing;
    light *= 0.92 + 0.16 * value_noise(px * 0.9, py * 0.9, 71);
    colour = shade_mix(petal_dark, petal_bright, clamp_unit(light));
    return coverage;
}

Shade sky_at(double px, double py) {
    const Shade high{34, 86, 164};
    const Shade low{78, 132, 200};
    Shade sky = shade_mix(high, low, clamp_unit(py / face_height));
    // Soft, out-of-focus cloud.
    const double cloud = smooth_step(0.45, 0.85, fractal_noise(px / 7.0, py / 7.0, 11));
    return shade_mix(sky, Shade{196, 212, 232}, cloud * 0.55);
}

// A leaf reaching in from the bottom-left corner; returns its coverage.
double leaf_at(double px, double py, Shade& colour) {
    const double ax = 0.78;  // the leaf's axis, pointing up and right
    const double ay = -0.62;
    const double dx = px - (-2.0);
    const double dy = py - 40.0;
    const double along = dx * ax + dy * ay;
    const double across = -dx * ay + dy * ax;
    const double length = 15.0;
    if (along <= 0 || along >= length) {
        return 0;
    }
    const double t = along / length;
    const double width = 6.0 * std::sqrt(sine(pi * t));
    const double coverage = clamp_unit((width - absolute(across)) / 0.9 + 0.5);
    const double side = clamp_unit(absolute(across) / width);
    double light = 0.75 + 0.25 * (across < 0 ? 1 : 0.6);
    light *= 1 - 0.35 * (1 - smooth_step(0.0, 0.12, side));  // the midrib's groove
    light *= 0.85 + 0.3 * value_noise(px * 1.3, py * 1.3, 23);
    colour = shade_mix(Shade{28, 58, 14}, Shade{104, 150, 48}, clamp_unit(light - 0.2));
    return coverage;
}

// The seed disc: coverage, colour.
double disc_at(double px, double py, Shade& colour) {
    const double dx = (px - centre_x) / disc_radius_x;
    const double dy = (py - centre_y) / disc_radius_y;
    const double r = std::sqrt(dx * dx + dy * dy);
    const double coverage = clamp_unit((1 - r) * disc_radius_x / 0.9 + 0.5);
    if (coverage <= 0) {
        return 0;
    }
    const Shade core{34, 24, 12};
    const Shade middle{84, 46, 16};
    const Shade rim{152, 82, 22};
    Shade base = shade_mix(core, middle, smooth_step(0.22, 0.55, r));
    base = shade_mix(base, rim, smooth_step(0.6, 0.92, r));
    // Florets on the golden-angle spiral: each a small bump.
    constexpr double golden_angle = 2.39996322972865332;
    constexpr int32_t florets = 260;
    double nearest = 1e9;
    for (int32_t n = 1; n <= florets; ++n) {
        const double fr = std::sqrt(static_cast<double>(n) / florets);
        const double fa = golden_angle * n;
        const double fx = fr * cosine(fa) - dx;
        const double fy = fr * sine(fa) - dy;
        const double d = fx * fx + fy * fy;
        if (d < nearest)
            nearest = d;
    }
    const double bump = 1 - clamp_unit(std::sqrt(nearest) / 0.075);
    // A dome lit from the top left.
    const double facing = -(dx * 0.6 + dy * 0.8);
    double light = 0.86 + 0.22 * bump + 0.16 * facing;
    light *= 0.9 + 0.2 * value_noise(px * 1.7, py * 1.7, 37);
    colour = shade_scale(base, light);
    // Pollen specks on the outer florets.
    const double pollen =
        smooth_step(0.8, 0.97, r) * smooth_step(0.55, 0.8, value_noise(px * 2.3, py * 2.3, 41));
    colour = shade_mix(colour, Shade{214, 150, 36}, pollen * 0.6);
    return coverage;
}

// Coverage of the front petals at a point (their colour is not needed).
double front_cover_at(const std::vector<Petal>& petals, double px, double py) {
    double open = 1;
    Shade unused{};
    for (size_t k = petals_per_ring; k < petals.size(); ++k) {
        open *= 1 - petal_at(petals[k], px, py, unused);
    }
    return 1 - open;
}

// Light comes from the top left, so what stands in front casts its shadow down and right.
constexpr double shadow_offset = 0.9;

Shade scene_at(double px, double py, const std::vector<Petal>& petals) {
    Shade colour = sky_at(px, py);
    Shade layer{};
    double coverage = leaf_at(px, py, layer);
    colour = shade_mix(colour, layer, coverage);
    for (size_t k = 0; k < petals.size(); ++k) {
        if (k == petals_per_ring) {
            const double shadow =
                front_cover_at(petals, px - shadow_offset, py - shadow_offset) * 0.5;
            colour = shade_scale(colour, 1 - shadow);
        }
        coverage = petal_at(petals[k], px, py, layer);
        if (coverage > 0) {
            colour = shade_mix(colour, layer, coverage);
        }
    }
    Shade unused{};
    const double disc_shadow =
        disc_at(px - 1.4 * shadow_offset, py - 1.4 * shadow_offset, unused) * 0.45;
    colour = shade_scale(colour, 1 - disc_shadow);
    coverage = disc_at(px, py, layer);
    return shade_mix(colour, layer, coverage);
}

int32_t to_byte(double value) {
    const double rounded = std::floor(value + 0.5);
    return rounded < 0 ? 0 : (rounded > 255 ? 255 : static_cast<int32_t>(rounded));
}

const ArtColour plain_faces[art_tiles] = {
    {0, 0, 0}, {254, 254, 132}, {132, 254, 254}, {132, 254, 132}, {254, 132, 71}};

const char* const tile_names[art_tiles] = {"colour 1, the sunflower", "colour 2, pale yellow",
                                           "colour 4, pale cyan", "colour 8, pale green",
                                           "colour 16, orange"};

}  // namespace

ArtColour frame_colour(int32_t x, int32_t y) {
    const int32_t depth[4] = {x, y, art_side - 1 - x, art_side - 1 - y};
    int32_t nearest = depth[0];
    for (int32_t d : depth) {
        nearest = d < nearest ? d : nearest;
    }
    int32_t sides[2] = {0, 0};
    int32_t count = 0;
    for (int32_t side = 0; side < 4; ++side) {
        if (depth[side] == nearest && count < 2) {
            sides[count++] = side;
        }
    }
    const bool in_rim = nearest <= 2;
    if (count == 1) {
        // The rim's seams at the top-right and bottom-left corners are two pixels wide: the
        // diagonal pixel on the light side, then this one on the dark side.
        const int32_t side = sides[0];
        if (in_rim && side == side_right && depth[side_top] == nearest + 1) {
            return grey(126);
        }
        if (in_rim && side == side_bottom && depth[side_left] == nearest + 1) {
            return grey(126);
        }
        return grey(side_grey(side, nearest));
    }
    const bool light_meets_dark = (sides[0] == side_left && sides[1] == side_bottom) ||
                                  (sides[0] == side_top && sides[1] == side_right);
    if (in_rim && light_meets_dark) {
        return grey(151);
    }
    // One-pixel blend on every other mitre line.
    return grey(blend_channel(side_grey(sides[0], nearest), 1, side_grey(sides[1], nearest), 1));
}

std::vector<ArtColour> sunflower_face() {
    const std::vector<Petal> petals = make_petals();
    std::vector<ArtColour> face;
    face.reserve(static_cast<size_t>(face_width * face_height));
    constexpr int32_t samples = 3;  // per axis, for smooth edges
    for (int32_t v = 0; v < face_height; ++v) {
        for (int32_t u = 0; u < face_width; ++u) {
            Shade sum{0, 0, 0};
            for (int32_t sv = 0; sv < samples; ++sv) {
                for (int32_t su = 0; su < samples; ++su) {
                    const double px = u + (su + 0.5) / samples;
                    const double py = v + (sv + 0.5) / samples;
                    const Shade s = scene_at(px, py, petals);
                    sum.red += s.red;
                    sum.green += s.green;
                    sum.blue += s.blue;
                }
            }
            // Sensor grain: a little independent noise in each channel.
            const double grain = 1.0 / (samples * samples);
            const uint32_t h = hash_point(u, v, 97);
            const double nr = static_cast<double>(h & 0xFFu) / 255.0 - 0.5;
            const double ng = static_cast<double>((h >> 8) & 0xFFu) / 255.0 - 0.5;
            const double nb = static_cast<double>((h >> 16) & 0xFFu) / 255.0 - 0.5;
            face.push_back(ArtColour{to_byte(sum.red * grain + nr * 6),
                                     to_byte(sum.green * grain + ng * 6),
                                     to_byte(sum.blue * grain + nb * 6)});
        }
    }
    return face;
}

std::vector<ArtColour> tile_picture(int32_t tile) {
    std::vector<ArtColour> picture;
    picture.reserve(static_cast<size_t>(art_side * art_side));
    const std::vector<ArtColour> sunflower =
        tile == 0 ? sunflower_face() : std::vector<ArtColour>();
    for (int32_t y = 0; y < art_side; ++y) {
        for (int32_t x = 0; x < art_side; ++x) {
            const bool in_face =
                x >= face_left && x <= face_right && y >= face_top && y <= face_bottom;
            if (!in_face) {
                picture.push_back(frame_colour(x, y));
                continue;
            }
            const ArtColour face =
                tile == 0
                    ? sunflower[static_cast<size_t>((y - face_top) * face_width + (x - face_left))]
                    : plain_faces[tile];
            picture.push_back(face_edge(x, y, face));
        }
    }
    return picture;
}

std::vector<unsigned char> tile_art_bytes() {
    std::vector<unsigned char> bytes;
    bytes.reserve(static_cast<size_t>(art_tiles * art_image_bytes));
    for (int32_t tile = 0; tile < art_tiles; ++tile) {
        const std::vector<ArtColour> picture = tile_picture(tile);
        for (int32_t y = art_side - 1; y >= 0; --y) {
            for (int32_t x = 0; x < art_side; ++x) {
                const ArtColour& c = picture[static_cast<size_t>(y * art_side + x)];
                bytes.push_back(static_cast<unsigned char>(c.blue));
                bytes.push_back(static_cast<unsigned char>(c.green));
                bytes.push_back(static_cast<unsigned char>(c.red));
            }
        }
    }
    return bytes;
}

std::string tile_art_source() {
    const std::vector<unsigned char> bytes = tile_art_bytes();
    std::string text =
        "// Made by make-tile-art (tools/art/); regenerate with the regenerate-tile-art target\n"
        "// rather than editing. Five 64 x 64 pictures, bottom row first, blue-green-red.\n"
        "#include \"tiles/tiles.hpp\"\n"
        "\n"
        "// clang-format off\n"
        "const unsigned char tile_art[5 * tile_image_bytes] = {\n";
    char hex[8];
    const size_t row_bytes = static_cast<size_t>(art_side * 3);
    for (size_t at = 0; at < bytes.size(); at += row_bytes) {
        if (at % static_cast<size_t>(art_image_bytes) == 0) {
            text += "// ";
            text += tile_names[at / static_cast<size_t>(art_image_bytes)];
            text += "\n";
        }
        for (size_t k = at; k < at + row_bytes; ++k) {
            std::snprintf(hex, sizeof hex, "0x%02X,", static_cast<unsigned int>(bytes[k]));
            text += hex;
        }
        text += "\n";
    }
    text += "};\n// clang-format on\n";
    return text;
}
