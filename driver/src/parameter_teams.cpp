#include "parameter_teams.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "picture_controls.h"
#include "sensor_command_table.h"
#include "sensor_device.h"

namespace ostra {

namespace {

constexpr char kKeyPrefix[] = "Software\\VELMAR\\Pelion\\setup";
constexpr char kTeamInUse[] = "paraTeam";
// Gains are 16-bit values in 1/64 units.
constexpr int kMaxGainUnits = 0xFFFF;

// Stored values past the int range count as the largest int, so the setters' clamps
// take them to the top of their range.
int asSetting(std::uint32_t value) {
    return static_cast<int>(std::min<std::uint32_t>(
        value, static_cast<std::uint32_t>(std::numeric_limits<int>::max())));
}

int gainUnits(float gain) {
    const float units = std::trunc(gain * 64.0f);
    if (!(units >= 0.0f)) return 0;  // NaN included
    return units > static_cast<float>(kMaxGainUnits) ? kMaxGainUnits : static_cast<int>(units);
}

// The gains the processor of the current data width decodes with, as saved: after a
// one-push white balance they are its measured gains.
void processorGains(SensorDevice& device, int& red, int& green, int& blue) {
    float b = 0, g = 0, r = 0;
    if (device.dataWidth() == 2)
        device.processor16().gains(b, g, r);
    else
        device.processor8().gains(b, g, r);
    red = gainUnits(r);
    green = gainUnits(g);
    blue = gainUnits(b);
}

std::uint32_t flag(bool on) {
    return on ? 1 : 0;
}

}  // namespace

std::string ParameterTeams::keyPath(int team) {
    if (team < 0 || team >= kTeamCount) return {};
    return kKeyPrefix + std::string(1, static_cast<char>('a' + team));
}

bool ParameterTeams::save(int team, SensorDevice& device, const PictureControls& controls) {
    const std::uint8_t number = static_cast<std::uint8_t>(team & 0xFF);
    const std::string path = keyPath(number);
    if (path.empty()) {
        std::fprintf(stderr, "Parameter teams: team %d has no key; nothing saved\n", number);
        return false;
    }
    std::lock_guard lock(lock_);
    if (!key_.open(path) && !key_.create(path)) return false;
    teamInUse_ = number;

    int red = 0, green = 0, blue = 0;
    processorGains(device, red, green, blue);
    const PictureControls::Settings picture = controls.settings();
    // Write failures have been reported by the key store; the rest is still written.
    key_.writeDword("rGain", static_cast<std::uint32_t>(red));
    key_.writeDword("gGain", static_cast<std::uint32_t>(green));
    key_.writeDword("bGain", static_cast<std::uint32_t>(blue));
    key_.writeDword("gamma", static_cast<std::uint32_t>(device.gamma()));
    key_.writeDword("contrast", static_cast<std::uint32_t>(device.contrast()));
    key_.writeDword("saturation", picture.saturation);
    key_.writeDword("horz", flag(device.mirror(0)));
    key_.writeDword("vert", flag(device.mirror(1)));
    key_.writeDword("autoexposure", static_cast<std::uint32_t>(picture.aeState));
    key_.writeDword("analogGain", static_cast<std::uint32_t>(device.analogueGain()));
    key_.writeDword("exposure", device.exposureRows());
    key_.writeDword("frameSpeed", static_cast<std::uint32_t>(device.frameSpeed()));
    key_.writeDword("dataWide", static_cast<std::uint32_t>(device.dataWidth()));
    key_.writeDword("blackLevel", static_cast<std::uint32_t>(device.blackLevel()));
    key_.writeDword("mono", static_cast<std::uint32_t>(picture.monochrome));
    key_.writeDword("enhance", static_cast<std::uint32_t>(picture.colorEnhancement));
    key_.close();

    // The number in use is kept only once team 0 exists.
    if (key_.open(keyPath(0))) {
        key_.writeDword(kTeamInUse, number);
        key_.close();
    }
    return true;
}

bool ParameterTeams::read(int team, SensorDevice& device, PictureControls& controls) {
    std::lock_guard lock(lock_);
    return readLocked(static_cast<std::uint8_t>(team & 0xFF), device, controls);
}

bool ParameterTeams::readLocked(std::uint8_t team, SensorDevice& device,
                                PictureControls& controls) {
    const std::string path = keyPath(team);
    if (path.empty()) {
        std::fprintf(stderr, "Parameter teams: team %d has no key; nothing read\n", team);
        return false;
    }
    if (!key_.open(path)) return false;

    std::uint32_t value = 0;
    // The three gains are one setting; a missing one keeps what the processors use now.
    int red = 0, green = 0, blue = 0;
    processorGains(device, red, green, blue);
    bool anyGain = false;
    const auto readGain = [&](const char* name, int& gain) {
        if (!key_.readDword(name, value)) return;
        gain = std::min(asSetting(value), kMaxGainUnits);
        anyGain = true;
    };
    readGain("rGain", red);
    readGain("gGain", green);
    readGain("bGain", blue);
    if (anyGain) device.setGains(red, green, blue);

    PictureControls::Settings picture = controls.settings();
    if (key_.readDword("gamma", value)) device.setGamma(asSetting(value));
    if (key_.readDword("contrast", value)) device.setContrast(asSetting(value));
    if (key_.readDword("saturation", value))
        picture.saturation = static_cast<std::uint8_t>(std::min<std::uint32_t>(value, 255));
    if (key_.readDword("horz", value)) device.setMirror(0, value != 0);
    if (key_.readDword("vert", value)) device.setMirror(1, value != 0);
    // Set directly: neither refused for 16-bit data nor keeping the exposure duration.
    if (key_.readDword("frameSpeed", value)) device.setFrameSpeed(asSetting(value));
    if (key_.readDword("autoexposure", value)) picture.aeState = asSetting(value);
    if (key_.readDword("analogGain", value)) device.setAnalogueGain(asSetting(value));
    if (key_.readDword("dataWide", value)) device.setDataWidth(asSetting(value));
    if (key_.readDword("blackLevel", value)) device.setBlackLevel(asSetting(value));
    // A damaged store must not leave a days-long exposure behind: the stored rows are
    // kept within what the sensor takes, as an exposure set through the setter is.
    if (key_.readDword("exposure", value))
        device.setExposureRows(std::min(value, longestExposureRows(device.mode())));
    if (key_.readDword("mono", value)) picture.monochrome = asSetting(value);
    if (key_.readDword("enhance", value)) picture.colorEnhancement = asSetting(value);
    // Stores the saturation and flags and gives the processors the effective
    // saturation they call for: 128 without enhancement, 0 in monochrome.
    controls.restore(picture, device);

    teamInUse_ = team;
    key_.close();
    return true;
}

std::uint8_t ParameterTeams::storedTeam() {
    std::lock_guard lock(lock_);
    std::uint32_t team = 0;
    if (!key_.open(keyPath(0))) return 0;
    key_.readDword(kTeamInUse, team);
    key_.close();
    return static_cast<std::uint8_t>(team & 0xFF);
}

void ParameterTeams::loadStoredTeam(SensorDevice& device, PictureControls& controls) {
    std::uint8_t team = storedTeam();
    if (team >= kTeamCount) {
        std::fprintf(stderr, "Parameter teams: stored team %d has no key; using team 0\n", team);
        team = 0;
    }
    std::lock_guard lock(lock_);
    teamInUse_ = team;
    readLocked(team, device, controls);
}

std::uint8_t ParameterTeams::teamInUse() const {
    std::lock_guard lock(lock_);
    return teamInUse_;
}

}  // namespace ostra
