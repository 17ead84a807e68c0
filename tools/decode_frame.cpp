// corvalis-decode: turns a raw frame into a bitmap with the driver's own decode.
// The frame is either a raw file as the camera library writes it (Bayer samples of
// a mode's processing size, 1 byte each or 2 bytes big-endian) or, without --raw,
// the simulated camera's sky in mode 0 or 1.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <mutex>
#include <string>
#include <vector>

#include "color_processor.h"
#include "common/bmp_file.h"
#include "frame_decode.h"
#include "mode_geometry.h"
#include "star_field.h"

namespace {

struct Options {
    std::string raw, output;
    int mode = 0, bytesPerSample = 1;
    int gamma = 100, contrast = 0, saturation = 128, red = 64, green = 64, blue = 64;
    bool mirrorH = false, mirrorV = false, balance = false;
    double exposureMs = 1000;
    int gain = 25;
};

void usage() {
    std::cerr
        << "usage: corvalis-decode [options] OUTPUT.bmp\n"
           "  --raw FILE        decode this raw frame (default: the simulated sky)\n"
           "  --mode N          resolution mode 0-4 (the simulated sky: 0 or 1)\n"
           "  --16              16-bit samples (2 bytes, big-endian)\n"
           "  --gamma V         20..150 (100)      --contrast V   0..255 (0)\n"
           "  --saturation V    0..255 (128)       --red/--green/--blue V  gains in 1/64 (64)\n"
           "  --mirror-h, --mirror-v, --balance (one-push white balance)\n"
           "  --exposure MS     simulated exposure (1000)   --gain G  analogue gain (25)\n";
}

bool parse(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&](int& target) {
            if (i + 1 >= argc) return false;
            char* end = nullptr;
            long v = std::strtol(argv[++i], &end, 10);
            if (*end != '\0') return false;
            target = static_cast<int>(v);
            return true;
        };
        bool ok = true;
        if (a == "--raw" && i + 1 < argc)
            o.raw = argv[++i];
        else if (a == "--mode")
            ok = value(o.mode) && o.mode >= 0 && o.mode <= 4;
        else if (a == "--16")
            o.bytesPerSample = 2;
        else if (a == "--gamma")
            ok = value(o.gamma);
        else if (a == "--contrast")
            ok = value(o.contrast);
        else if (a == "--saturation")
            ok = value(o.saturation);
        else if (a == "--red")
            ok = value(o.red);
        else if (a == "--green")
            ok = value(o.green);
        else if (a == "--blue")
            ok = value(o.blue);
        else if (a == "--gain")
            ok = value(o.gain);
        else if (a == "--exposure" && i + 1 < argc)
            o.exposureMs = std::atof(argv[++i]);
        else if (a == "--mirror-h")
            o.mirrorH = true;
        else if (a == "--mirror-v")
            o.mirrorV = true;
        else if (a == "--balance")
            o.balance = true;
        else if (!a.empty() && a[0] != '-' && o.output.empty())
            o.output = a;
        else
            ok = false;
        if (!ok) {
            std::cerr << "corvalis-decode: bad argument '" << a << "'\n";
            return false;
        }
    }
    if (o.output.empty()) return false;
    if (o.raw.empty() && o.mode > 1) {
        std::cerr << "corvalis-decode: the simulated sky is rendered in modes 0 and 1 only\n";
        return false;
    }
    return true;
}

// The sky over the mode's picture window, as the camera delivers it after the
// frame is assembled: 12-bit values, the top 8 bits for 8-bit data, or shifted
// into the upper part of a big-endian 16-bit sample.
std::vector<std::uint8_t> renderSky(const ostra::ModeGeometry& g, const Options& o) {
    corvalis::platform::sim::StarField sky;
    corvalis::platform::sim::StarField::Exposure e;
    e.micros = o.exposureMs * 1000.0;
    e.gain = o.gain;
    const auto counts = sky.render(g.cropX0, g.cropY0, g.processingWidth, g.processingHeight, e);
    std::vector<std::uint8_t> raw;
    raw.reserve(counts.size() * o.bytesPerSample);
    for (std::uint16_t v : counts) {
        if (o.bytesPerSample == 1) {
            raw.push_back(static_cast<std::uint8_t>(v >> 4));
        } else {
            const std::uint16_t s = static_cast<std::uint16_t>(v << 4);
            raw.push_back(static_cast<std::uint8_t>(s >> 8));
            raw.push_back(static_cast<std::uint8_t>(s));
        }
    }
    return raw;
}

bool readRaw(const std::string& path, std::size_t bytes, std::vector<std::uint8_t>& raw) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) {
        std::cerr << "corvalis-decode: cannot open " << path << ": " << std::strerror(errno)
                  << "\n";
        return false;
    }
    const auto size = static_cast<std::size_t>(in.tellg());
    if (size != bytes) {
        std::cerr << "corvalis-decode: " << path << " holds " << size
                  << " bytes; this mode and width need " << bytes << "\n";
        return false;
    }
    raw.resize(bytes);
    in.seekg(0);
    return static_cast<bool>(
        in.read(reinterpret_cast<char*>(raw.data()), static_cast<std::streamsize>(bytes)));
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (!parse(argc, argv, o)) {
        usage();
        return 2;
    }
    const ostra::ModeGeometry& g = *ostra::modeGeometry(o.mode);
    std::vector<std::uint8_t> raw;
    const std::size_t rawBytes =
        static_cast<std::size_t>(g.processingWidth) * g.processingHeight * o.bytesPerSample;
    if (o.raw.empty()) {
        raw = renderSky(g, o);
    } else if (!readRaw(o.raw, rawBytes, raw)) {
        return 1;
    }

    std::mutex decodeLock;
    ostra::ColorProcessor8 p8(decodeLock);
    ostra::ColorProcessor16 p16(decodeLock);
    auto configure = [&](auto& p) {
        p.setSize(g.processingWidth, g.processingHeight);
        p.setPatternCode(6);
        p.setGamma(ostra::gammaExponent(std::clamp(o.gamma, 20, 150)));
        p.setContrast(ostra::contrastFactor(std::clamp(o.contrast, 0, 255)));
        p.setSaturation(ostra::saturationFactor(std::clamp(o.saturation, 0, 255)));
        p.setGains(ostra::gainFactor(o.blue), ostra::gainFactor(o.green), ostra::gainFactor(o.red));
        p.setWhiteBalancePending(o.balance);
    };
    configure(p8);
    configure(p16);

    ostra::FrameLayout layout{
        g.processingWidth, g.processingHeight, g.outputWidth, g.outputHeight, false, false};
    ostra::mirrorBytes(o.mirrorH, o.mirrorV, layout.rotate180, layout.mirrorLeftRight);
    std::vector<std::uint8_t> picture(ostra::decodedBytes(layout, o.bytesPerSample, true));
    if (!ostra::decodeFrame(decodeLock, p8, p16, o.bytesPerSample, layout, raw.data(),
                            picture.data(), true)) {
        std::cerr << "corvalis-decode: the decode could not run (out of memory?)\n";
        return 1;
    }
    if (!corvalis::writeBmp24(o.output, picture.data(), g.outputWidth, g.outputHeight)) {
        std::cerr << "corvalis-decode: cannot write " << o.output << ": " << std::strerror(errno)
                  << "\n";
        return 1;
    }
    std::cout << "wrote " << o.output << " (" << g.outputWidth << " x " << g.outputHeight << ")\n";
    return 0;
}
