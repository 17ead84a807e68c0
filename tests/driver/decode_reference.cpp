#include "decode_reference.h"

#include <algorithm>
#include <cmath>

namespace reference {

namespace {
int maxValue(const Settings& s) {
    return s.bits == 8 ? 255 : 65535;
}

int mean(const std::vector<int>& values) {
    int sum = 0;
    for (int v : values) sum += v;
    switch (values.size()) {
        case 4:
            return sum >> 2;
        case 3:
            return sum / 3;
        case 2:
            return sum >> 1;
        case 1:
            return sum;
        default:
            return 0;
    }
}
}  // namespace

std::vector<int> toneCurve(const Settings& s) {
    const int n = maxValue(s);
    const float inv = s.bits == 8 ? 0.003921569f : 1.5259022e-5f;
    std::vector<int> t(n + 1);
    for (int i = 0; i <= n; ++i) {
        float x = static_cast<float>(i) * inv;
        float v = ((std::pow(x, s.gamma) - 0.5f) * s.contrast + 0.5f) * static_cast<float>(n);
        if (v < 0) v = 0;
        if (v > n) v = static_cast<float>(n);
        t[i] = static_cast<int>(v);
    }
    return t;
}

std::vector<int> channelTable(const Settings& s, float gain) {
    const int n = maxValue(s);
    const std::vector<int> t = toneCurve(s);
    const float sat = static_cast<float>(s.saturation) / 65536.0f;
    std::vector<int> table(n + 1);
    for (int i = 0; i <= n; ++i) {
        float v = static_cast<float>(i) * (1.0f - sat + sat * gain);
        if (v < 0) v = 0;
        if (v > n) v = static_cast<float>(n);
        table[i] = t[static_cast<int>(v)];
    }
    return table;
}

std::vector<int> demosaic(const std::vector<int>& m, int w, int h, int patternCode) {
    std::vector<int> out(static_cast<std::size_t>(w) * h * 3);
    auto at = [&](int r, int c) { return m[static_cast<std::size_t>(r) * w + c]; };
    auto inside = [&](int r, int c) { return r >= 0 && r < h && c >= 0 && c < w; };
    auto collect = [&](int r, int c, std::initializer_list<std::pair<int, int>> offsets) {
        std::vector<int> v;
        for (auto [dr, dc] : offsets)
            if (inside(r + dr, c + dc)) v.push_back(at(r + dr, c + dc));
        return mean(v);
    };
    for (int r = 0; r < h; ++r) {
        for (int c = 0; c < w; ++c) {
            int* p = &out[(static_cast<std::size_t>(r) * w + c) * 3];
            if (patternCode == 7) {
                p[0] = p[1] = p[2] = at(r, c);
                continue;
            }
            // Code 2: red (0,1) in channel 0, blue (1,0) in channel 2.
            int ch0, ch1, ch2;
            const int horiz = collect(r, c, {{0, -1}, {0, 1}});
            const int vert = collect(r, c, {{-1, 0}, {1, 0}});
            const int cross = collect(r, c, {{-1, 0}, {1, 0}, {0, -1}, {0, 1}});
            const int diag = collect(r, c, {{-1, -1}, {-1, 1}, {1, -1}, {1, 1}});
            if (r % 2 == 0 && c % 2 == 0) {  // green on a red row
                ch1 = at(r, c), ch0 = horiz, ch2 = vert;
            } else if (r % 2 == 1 && c % 2 == 1) {  // green on a blue row
                ch1 = at(r, c), ch2 = horiz, ch0 = vert;
            } else if (r % 2 == 0) {  // red
                ch0 = at(r, c), ch1 = cross, ch2 = diag;
            } else {  // blue
                ch2 = at(r, c), ch1 = cross, ch0 = diag;
            }
            p[0] = ch0, p[1] = ch1, p[2] = ch2;
            if (patternCode != 2) std::swap(p[0], p[2]);
        }
    }
    return out;
}

std::vector<std::uint8_t> decode(const std::vector<int>& mosaic, const Frame& f, Settings& s,
                                 bool to8) {
    const int w = f.width, h = f.height, n = maxValue(s);
    auto px = [&](std::vector<int>& img, int r, int c) {
        return &img[(static_cast<std::size_t>(r) * w + c) * 3];
    };

    // Demosaic, then rotate and mirror.
    std::vector<int> img = demosaic(mosaic, w, h, s.patternCode);
    if (f.rotate180) {
        std::vector<int> turned(img.size());
        for (int r = 0; r < h; ++r)
            for (int c = 0; c < w; ++c)
                std::copy_n(px(img, h - 1 - r, w - 1 - c), 3, px(turned, r, c));
        img = turned;
    }
    if (f.mirrorLeftRight) {
        std::vector<int> mirrored(img.size());
        for (int r = 0; r < h; ++r)
            for (int c = 0; c < w; ++c) std::copy_n(px(img, r, w - 1 - c), 3, px(mirrored, r, c));
        img = mirrored;
    }

    // One-push white balance over every fifth pixel.
    if (s.balancePending) {
        double sums[3] = {0, 0, 0};
        for (std::size_t p = 0; p < static_cast<std::size_t>(w) * h; p += 5)
            for (int k = 0; k < 3; ++k)
                sums[k] += s.bits == 8 ? img[p * 3 + k] : img[p * 3 + k] / 256;
        float means[3];
        for (int k = 0; k < 3; ++k) {
            means[k] = static_cast<float>(sums[k]) /
                       (0.2f * static_cast<float>(w) * static_cast<float>(h));
            if (means[k] < 1.0f) means[k] = 1.0f;
        }
        const float lo = s.bits == 8 ? 1.0f : 0.2f, hi = s.bits == 8 ? 2.0f : 3.5f;
        s.gainB = std::clamp(means[1] / means[0], lo, hi);
        s.gainR = std::clamp(means[1] / means[2], lo, hi);
        s.gainG = 1.0f;
        s.balancePending = false;
    }

    // Green smoothing from the image as it was before this step.
    {
        const std::vector<int> before = img;
        auto green = [&](int r, int c) {
            return before[(static_cast<std::size_t>(r) * w + c) * 3 + 1];
        };
        const int pairs = (h - 1) / 2;
        for (int k = 0; k < pairs; ++k) {
            const int rowA = f.mirrorLeftRight ? 2 * k + 2 : 2 * k + 1;
            const int rowB = f.mirrorLeftRight ? 2 * k + 1 : 2 * k + 2;
            if (w > 2 && rowA + 1 < h)
                for (int c = 1; c <= 2 * ((w - 1) / 2) - 1; c += 2)
                    px(img, rowA, c)[1] = (green(rowA - 1, c) + green(rowA, c - 1) +
                                           green(rowA, c + 1) + green(rowA + 1, c)) >>
                                          2;
            if (w > 4 && rowB + 1 < h)
                for (int c = 2; c <= 2 * ((w - 3) / 2); c += 2)
                    px(img, rowB, c)[1] = (green(rowB - 1, c) + green(rowB, c - 1) +
                                           green(rowB, c + 1) + green(rowB + 1, c)) >>
                                          2;
        }
    }

    // Tables and the per-pixel mapping.
    const std::vector<int> tb = channelTable(s, s.gainB), tg = channelTable(s, s.gainG),
                           tr = channelTable(s, s.gainR);
    for (int r = 0; r < h; ++r) {
        for (int c = 0; c < w; ++c) {
            int* p = px(img, r, c);
            const int B = p[0], G = p[1], R = p[2];
            if (s.saturation == 0) {
                const int y = static_cast<int>(0.114f * static_cast<float>(tr[B]) +
                                               0.587f * static_cast<float>(tg[G]) +
                                               0.299f * static_cast<float>(tb[R]));
                p[0] = p[1] = p[2] = y;
            } else if (s.bits == 8) {
                const int b2 = std::clamp(G + (((B - G) * s.saturation) >> 16), 0, n);
                const int r2 = std::clamp(G + (((R - G) * s.saturation) >> 16), 0, n);
                p[0] = tb[b2], p[1] = tg[G], p[2] = tr[r2];
            } else {
                const float fs = static_cast<float>(s.saturation);
                float fb =
                    static_cast<float>(G) + static_cast<float>(B - G) * fs * (1.0f / 65536.0f);
                float fr =
                    static_cast<float>(G) + static_cast<float>(R - G) * fs * (1.0f / 65536.0f);
                const int b2 = static_cast<int>(std::clamp(fb, 0.0f, static_cast<float>(n)));
                const int r2 = static_cast<int>(std::clamp(fr, 0.0f, static_cast<float>(n)));
                p[0] = tb[b2], p[1] = tg[G], p[2] = tr[r2];
            }
        }
    }

    // Bottom-up rows, then the copy to the output with mode 1's halving.
    std::vector<int> flipped(img.size());
    for (int r = 0; r < h; ++r) std::copy_n(px(img, h - 1 - r, 0), w * 3, px(flipped, r, 0));
    const int wo = f.outputWidth, ho = f.outputHeight;
    std::vector<int> out(static_cast<std::size_t>(wo) * ho * 3);
    for (int r = 0; r < ho; ++r)
        for (int x = 0; x < wo; ++x)
            for (int k = 0; k < 3; ++k) {
                const int* row = &flipped[static_cast<std::size_t>(r) * w * 3];
                out[(static_cast<std::size_t>(r) * wo + x) * 3 + k] =
                    wo == w ? row[x * 3 + k] : (row[2 * x * 3 + k] + row[(2 * x + 1) * 3 + k]) >> 1;
            }

    // Edge rows repeat row 7 and row Ho - 8.
    if (ho >= 15) {
        const std::size_t len = static_cast<std::size_t>(wo) * 3;
        for (int r = ho - 7; r < ho; ++r) std::copy_n(&out[(ho - 8) * len], len, &out[r * len]);
        for (int r = 0; r < 7; ++r) std::copy_n(&out[7 * len], len, &out[r * len]);
    }

    std::vector<std::uint8_t> bytes;
    for (int v : out) {
        if (s.bits == 8) {
            bytes.push_back(static_cast<std::uint8_t>(v));
        } else if (to8) {
            bytes.push_back(static_cast<std::uint8_t>(v >> 8));
        } else {
            bytes.push_back(static_cast<std::uint8_t>(v & 0xFF));
            bytes.push_back(static_cast<std::uint8_t>(v >> 8));
        }
    }
    return bytes;
}

}  // namespace reference
