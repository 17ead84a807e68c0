// Parameter teams in the user's key store: what Save writes, what Read applies and in
// which order, and which team is in use.
#include "parameter_teams.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <optional>
#include <vector>

#include "file_text.h"
#include "frame_decode.h"
#include "picture_controls.h"
#include "platform/key_store.h"
#include "scratch_directory.h"
#include "sensor_wire.h"

using namespace sensor_test;
using corvalis::platform::KeyStore;
using ostra::ParameterTeams;
namespace fs = std::filesystem;

namespace {

const std::string kSetupA = "Software\\VELMAR\\Pelion\\setupa";
const std::string kSetupB = "Software\\VELMAR\\Pelion\\setupb";

// 16.16 fixed point of the processors' saturation: value / 128.
constexpr std::int32_t saturationFixed(int value) {
    return value * 512;
}

// A sensor device on the simulated camera, picture controls, and a key store of its
// own in a scratch directory.
class Teams : public SensorWire {
  protected:
    void SetUp() override {
        SensorWire::SetUp();
        dir = scratch.path();
        storePath = (dir / "registry.ini").string();
        if (const char* previous = std::getenv("CORVALIS_REGISTRY")) previousStore = previous;
        ::setenv("CORVALIS_REGISTRY", storePath.c_str(), 1);
    }
    void TearDown() override { ::setenv("CORVALIS_REGISTRY", previousStore.c_str(), 1); }

    std::string previousStore;

    std::string storeText() const { return readText(storePath); }
    void writeStore(const std::string& text) const { writeText(storePath, text); }
    std::optional<std::uint32_t> stored(const std::string& key, const std::string& name) const {
        std::uint32_t value = 0;
        if (!KeyStore(storePath).readDword(key, name, value)) return std::nullopt;
        return value;
    }

    // Gains the 8-bit processor decodes with, blue, green, red.
    std::vector<float> processorGains() {
        float b = 0, g = 0, r = 0;
        device.processor8().gains(b, g, r);
        return {b, g, r};
    }

    // A setting of every kind away from its default.
    void setDistinctSettings() {
        device.setGains(80, 64, 96);
        device.setGamma(77);
        device.setContrast(33);
        controls.setColorEnhancement(1, device);
        controls.setSaturation(200, device);
        device.setMirror(0, true);
        controls.setAeState(1, device);
        device.setAnalogueGain(300);
        device.setExposureRows(1200);
        device.setFrameSpeed(3);
        device.setDataWidth(2);
        device.setBlackLevel(20);
    }

    ScratchDirectory scratch{"teams"};
    fs::path dir;
    std::string storePath;
    ostra::PictureControls controls;
    ParameterTeams teams;
};

}  // namespace

// --- Team keys ---

TEST_F(Teams, EachTeamIsALetterOfTheKeyName) {
    EXPECT_EQ(ParameterTeams::keyPath(0), kSetupA);
    EXPECT_EQ(ParameterTeams::keyPath(1), kSetupB);
    EXPECT_EQ(ParameterTeams::keyPath(25), "Software\\VELMAR\\Pelion\\setupz");
    EXPECT_EQ(ParameterTeams::keyPath(26), "");
    EXPECT_EQ(ParameterTeams::keyPath(-1), "");
}

TEST_F(Teams, NumbersPastTheLastLetterAreRefused) {
    EXPECT_FALSE(teams.save(26, device, controls));
    EXPECT_FALSE(teams.save(159, device, controls));  // 'a' + 159 would end the name early
    EXPECT_FALSE(fs::exists(storePath));
    EXPECT_FALSE(teams.read(40, device, controls));
    // Only the low byte counts: 0x101 is team 1.
    EXPECT_TRUE(teams.save(0x101, device, controls));
    EXPECT_TRUE(KeyStore(storePath).keyExists(kSetupB));
    EXPECT_EQ(teams.teamInUse(), 1);
}

// --- Save ---

TEST_F(Teams, SaveOnAFreshStoreWritesAllSixteenValuesAndNoTeamNumber) {
    setDistinctSettings();
    ASSERT_TRUE(teams.save(1, device, controls));
    EXPECT_EQ(storeText(),
              "[Software\\VELMAR\\Pelion\\setupb]\n"
              "rGain=80\n"
              "gGain=64\n"
              "bGain=96\n"
              "gamma=77\n"
              "contrast=33\n"
              "saturation=200\n"
              "horz=1\n"
              "vert=0\n"
              "autoexposure=1\n"
              "analogGain=300\n"
              "exposure=1200\n"
              "frameSpeed=3\n"
              "dataWide=2\n"
              "blackLevel=20\n"
              "mono=0\n"
              "enhance=1\n");
    // Team 0's key is missing, so the next start begins with team 0.
    EXPECT_FALSE(KeyStore(storePath).keyExists(kSetupA));
    EXPECT_EQ(teams.storedTeam(), 0);
    EXPECT_EQ(teams.teamInUse(), 1);
}

TEST_F(Teams, TheTeamNumberIsKeptOnceTeamZeroExists) {
    ASSERT_TRUE(teams.save(0, device, controls));
    EXPECT_EQ(stored(kSetupA, "paraTeam"), 0u);
    ASSERT_TRUE(teams.save(2, device, controls));
    EXPECT_EQ(stored(kSetupA, "paraTeam"), 2u);
    EXPECT_EQ(teams.storedTeam(), 2);
    EXPECT_EQ(teams.teamInUse(), 2);
    EXPECT_EQ(stored("Software\\VELMAR\\Pelion\\setupc", "gamma"), 100u);
}

TEST_F(Teams, SavedGainsAreTheProcessorsMeasuredWhiteBalance) {
    ASSERT_TRUE(device.setMode(4));  // sizes the processors: 756 x 504
    const ostra::FrameLayout layout = device.frameLayout();
    ASSERT_EQ(layout.width, 756);
    ASSERT_EQ(layout.height, 504);
    // Greens on (even, even) and (odd, odd), red on even rows, blue on odd rows.
    std::vector<std::uint8_t> raw(static_cast<std::size_t>(layout.width) * layout.height);
    for (int y = 0; y < layout.height; ++y)
        for (int x = 0; x < layout.width; ++x)
            raw[static_cast<std::size_t>(y) * layout.width + x] =
                (x % 2) == (y % 2) ? 120 : (y % 2 == 0 ? 100 : 90);
    std::vector<std::uint8_t> picture(ostra::decodedBytes(layout, 1, true));
    device.processor8().setWhiteBalancePending(true);
    ASSERT_TRUE(ostra::decodeFrame(decodeLock, device.processor8(), device.processor16(), 1, layout,
                                   raw.data(), picture.data(), true));
    ASSERT_FALSE(device.processor8().whiteBalancePending());

    ASSERT_TRUE(teams.save(0, device, controls));
    // red 120 / 100 = 1.2 -> 76.8, blue 120 / 90 = 1.333 -> 85.3, green 1.0 -> 64.
    EXPECT_EQ(stored(kSetupA, "rGain"), 76u);
    EXPECT_EQ(stored(kSetupA, "gGain"), 64u);
    EXPECT_EQ(stored(kSetupA, "bGain"), 85u);
    // The sensor's own gains were never told.
    int r = 0, g = 0, b = 0;
    device.gains(r, g, b);
    EXPECT_EQ(r, 64);
    EXPECT_EQ(b, 64);
}

TEST_F(Teams, SavedGainsComeFromTheProcessorOfTheDataWidth) {
    device.setDataWidth(2);
    device.processor8().setGains(1.0f, 1.0f, 1.0f);
    device.processor16().setGains(0.75f, 1.0f, 3.49f);  // blue, green, red
    ASSERT_TRUE(teams.save(0, device, controls));
    EXPECT_EQ(stored(kSetupA, "rGain"), 223u);  // 3.49 x 64 = 223.36
    EXPECT_EQ(stored(kSetupA, "gGain"), 64u);
    EXPECT_EQ(stored(kSetupA, "bGain"), 48u);
}

TEST_F(Teams, AKeyThatCannotBeCreatedSavesNothing) {
    fs::create_directory(storePath);  // the store's name is taken by a directory
    EXPECT_FALSE(teams.save(3, device, controls));
    EXPECT_EQ(teams.teamInUse(), 0);
}

// --- Read ---

TEST_F(Teams, ReadAppliesEachValueThroughTheSensorSettersInOrder) {
    writeStore(
        "[Software\\VELMAR\\Pelion\\setupd]\n"
        "rGain=128\ngGain=64\nbGain=32\n"
        "gamma=10\ncontrast=300\nsaturation=90\nhorz=1\nvert=1\n"
        "autoexposure=1\nanalogGain=5\nexposure=1155\nframeSpeed=0\n"
        "dataWide=7\nblackLevel=0\nmono=0\nenhance=1\n");
    takeRequests();
    ASSERT_TRUE(teams.read(3, device, controls));

    // Frame speed 0 -> 1, gain 5 -> 16, width 7 -> 16-bit, black level 0 -> 16,
    // 1155 rows in mode 0 -> low 0 sent as 1, high 1. Gamma, contrast, gains,
    // saturation and mirrors are the processors' business and send nothing.
    const std::vector<Request> expected = {
        {0xB5, 0xA0, 0}, startFrame(),    gain(16),
        {0xB9, 0x05, 0}, startFrame(),    blackLevelRegister(16 * 256),
        exposureLow(1),  exposureHigh(1),
    };
    EXPECT_EQ(takeRequests(), expected);

    EXPECT_EQ(device.gamma(), 20);
    EXPECT_FLOAT_EQ(device.processor8().gamma(), 68.0f / 128.0f);
    EXPECT_EQ(device.contrast(), 255);
    EXPECT_EQ(processorGains(), (std::vector<float>{0.5f, 1.0f, 2.0f}));
    EXPECT_TRUE(device.mirror(0));
    EXPECT_TRUE(device.mirror(1));
    EXPECT_EQ(device.frameSpeed(), 1);
    EXPECT_EQ(device.analogueGain(), 16);
    EXPECT_EQ(device.dataWidth(), 2);
    EXPECT_EQ(device.blackLevel(), 16);
    EXPECT_EQ(device.exposureRows(), 1155u);
    EXPECT_EQ(controls.aeState(), 1);
    EXPECT_EQ(controls.saturation(), 90);
    EXPECT_EQ(device.saturation(), 90);
    EXPECT_EQ(teams.teamInUse(), 3);
    // The camera holds what was sent.
    const auto settings = camera->settings();
    EXPECT_EQ(settings.speed, 1);
    EXPECT_EQ(settings.bytesPerSample, 2);
    EXPECT_EQ(settings.gain, 16);
    EXPECT_EQ(settings.blackLevel, 16);
}

TEST_F(Teams, FrameSpeedOneIsSetEvenWith16BitData) {
    device.setDataWidth(2);
    device.setFrameSpeed(3);
    writeStore("[Software\\VELMAR\\Pelion\\setupa]\nframeSpeed=1\n");
    takeRequests();
    ASSERT_TRUE(teams.read(0, device, controls));
    const std::vector<Request> expected = {{0xB5, 0xA0, 0}, startFrame()};
    EXPECT_EQ(takeRequests(), expected);
    EXPECT_EQ(device.frameSpeed(), 1);
    EXPECT_EQ(device.exposureRows(), 56u);  // the exposure is not re-scaled
}

// A damaged store's exposure is kept within the sensor's longest: 4090 steps of 1155
// rows plus 1154 in mode 0 (4,725,104 rows), 4090 x 651 + 650 in mode 1.
TEST_F(Teams, AStoredExposureBeyondTheLongestIsClamped) {
    writeStore("[Software\\VELMAR\\Pelion\\setupa]\nexposure=4294967295\n");
    ASSERT_TRUE(teams.read(0, device, controls));
    EXPECT_EQ(device.exposureRows(), 4725104u);
    device.setMode(1);
    ASSERT_TRUE(teams.read(0, device, controls));
    EXPECT_EQ(device.exposureRows(), 2663240u);
    writeStore("[Software\\VELMAR\\Pelion\\setupa]\nexposure=2663240\n");
    ASSERT_TRUE(teams.read(0, device, controls));
    EXPECT_EQ(device.exposureRows(), 2663240u);
}

TEST_F(Teams, WithoutEnhancementTheEffectiveSaturationIsNeutral) {
    controls.setColorEnhancement(1, device);
    controls.setSaturation(50, device);
    writeStore("[Software\\VELMAR\\Pelion\\setupa]\nsaturation=200\nmono=0\nenhance=0\n");
    ASSERT_TRUE(teams.read(0, device, controls));
    EXPECT_EQ(device.saturation(), 128);
    EXPECT_EQ(device.processor8().saturationFixed(), saturationFixed(128));
    EXPECT_EQ(device.processor16().saturationFixed(), saturationFixed(128));
    EXPECT_EQ(controls.saturation(), 200);
    EXPECT_EQ(controls.colorEnhancement(), 0);
    // The saturation read is kept for when enhancement comes back.
    controls.setColorEnhancement(1, device);
    EXPECT_EQ(device.saturation(), 200);
}

TEST_F(Teams, MonochromeGivesZeroSaturation) {
    writeStore("[Software\\VELMAR\\Pelion\\setupa]\nsaturation=200\nmono=1\nenhance=1\n");
    ASSERT_TRUE(teams.read(0, device, controls));
    EXPECT_EQ(device.saturation(), 0);
    EXPECT_EQ(device.processor16().saturationFixed(), 0);
    EXPECT_EQ(controls.monochrome(), 1);
    EXPECT_EQ(controls.saturation(), 200);
}

TEST_F(Teams, WithEnhancementAndColourTheSaturationReadIsUsed) {
    writeStore("[Software\\VELMAR\\Pelion\\setupa]\nsaturation=200\nmono=0\nenhance=1\n");
    ASSERT_TRUE(teams.read(0, device, controls));
    EXPECT_EQ(device.saturation(), 200);
    EXPECT_EQ(device.processor8().saturationFixed(), saturationFixed(200));
}

TEST_F(Teams, MissingValuesKeepTheCurrentSettings) {
    setDistinctSettings();  // processor gains blue 1.5, green 1.0, red 1.25
    writeStore("[Software\\VELMAR\\Pelion\\setupa]\nrGain=128\ncontrast=40\ngamma=abc\n");
    takeRequests();
    ASSERT_TRUE(teams.read(0, device, controls));
    EXPECT_TRUE(takeRequests().empty());
    EXPECT_EQ(device.contrast(), 40);
    // Red from the team, green and blue as they were (not the red value passed on).
    EXPECT_EQ(processorGains(), (std::vector<float>{1.5f, 1.0f, 2.0f}));
    EXPECT_EQ(device.gamma(), 77);  // a malformed value counts as missing
    EXPECT_TRUE(device.mirror(0));
    EXPECT_FALSE(device.mirror(1));
    EXPECT_EQ(device.analogueGain(), 300);
    EXPECT_EQ(device.exposureRows(), 1200u);
    EXPECT_EQ(device.frameSpeed(), 3);
    EXPECT_EQ(device.dataWidth(), 2);
    EXPECT_EQ(device.blackLevel(), 20);
    EXPECT_EQ(controls.aeState(), 1);
    EXPECT_EQ(controls.colorEnhancement(), 1);
    EXPECT_EQ(controls.saturation(), 200);
    EXPECT_EQ(device.saturation(), 200);
}

TEST_F(Teams, OutOfRangeValuesAreClamped) {
    writeStore(
        "[Software\\VELMAR\\Pelion\\setupa]\n"
        "rGain=4294967295\ngamma=4294967295\nsaturation=300\nanalogGain=2000\n"
        "enhance=1\n");
    ASSERT_TRUE(teams.read(0, device, controls));
    EXPECT_EQ(processorGains()[2], 65535.0f / 64.0f);
    EXPECT_EQ(device.gamma(), 150);
    EXPECT_EQ(controls.saturation(), 255);
    EXPECT_EQ(device.saturation(), 255);
    EXPECT_EQ(device.analogueGain(), 1023);
}

TEST_F(Teams, AMissingTeamChangesNothing) {
    ASSERT_TRUE(teams.save(0, device, controls));
    device.setGamma(60);
    takeRequests();
    EXPECT_FALSE(teams.read(5, device, controls));
    EXPECT_TRUE(takeRequests().empty());
    EXPECT_EQ(device.gamma(), 60);
    EXPECT_EQ(teams.teamInUse(), 0);
}

TEST_F(Teams, ASavedTeamReadsBackAsSaved) {
    setDistinctSettings();
    ASSERT_TRUE(teams.save(4, device, controls));
    // Everything else elsewhere.
    device.setGains(64, 64, 64);
    device.setGamma(100);
    device.setContrast(0);
    controls.setSaturation(10, device);
    controls.setColorEnhancement(0, device);
    controls.setMonochrome(1, device);
    device.setMirror(0, false);
    device.setMirror(1, true);
    controls.setAeState(0, device);
    device.setAnalogueGain(25);
    device.setExposureRows(56);
    device.setFrameSpeed(1);
    device.setDataWidth(1);
    device.setBlackLevel(16);

    ASSERT_TRUE(teams.read(4, device, controls));
    EXPECT_EQ(processorGains(), (std::vector<float>{1.5f, 1.0f, 1.25f}));
    EXPECT_EQ(device.gamma(), 77);
    EXPECT_EQ(device.contrast(), 33);
    EXPECT_EQ(controls.saturation(), 200);
    EXPECT_EQ(controls.colorEnhancement(), 1);
    EXPECT_EQ(controls.monochrome(), 0);
    EXPECT_EQ(device.saturation(), 200);
    EXPECT_TRUE(device.mirror(0));
    EXPECT_FALSE(device.mirror(1));
    EXPECT_EQ(controls.aeState(), 1);
    EXPECT_EQ(device.analogueGain(), 300);
    EXPECT_EQ(device.exposureRows(), 1200u);
    EXPECT_EQ(device.frameSpeed(), 3);
    EXPECT_EQ(device.dataWidth(), 2);
    EXPECT_EQ(device.blackLevel(), 20);
    EXPECT_EQ(teams.teamInUse(), 4);
}

// --- The team in use ---

TEST_F(Teams, TheStoredTeamIsTheLowByteOfTheNumber) {
    EXPECT_EQ(teams.storedTeam(), 0);  // no store at all
    writeStore("[Software\\VELMAR\\Pelion\\setupa]\n");
    EXPECT_EQ(teams.storedTeam(), 0);  // no number
    writeStore("[Software\\VELMAR\\Pelion\\setupa]\nparaTeam=258\n");
    EXPECT_EQ(teams.storedTeam(), 2);
}

TEST_F(Teams, StartUpReadsTheStoredTeam) {
    writeStore(
        "[Software\\VELMAR\\Pelion\\setupa]\nparaTeam=2\ngamma=30\n"
        "[Software\\VELMAR\\Pelion\\setupc]\ngamma=60\n");
    teams.loadStoredTeam(device, controls);
    EXPECT_EQ(teams.teamInUse(), 2);
    EXPECT_EQ(device.gamma(), 60);
}

TEST_F(Teams, AStoredNumberWithoutALetterStartsWithTeamZero) {
    writeStore("[Software\\VELMAR\\Pelion\\setupa]\nparaTeam=40\ngamma=30\n");
    teams.loadStoredTeam(device, controls);
    EXPECT_EQ(teams.teamInUse(), 0);
    EXPECT_EQ(device.gamma(), 30);
}

TEST_F(Teams, AFreshStoreKeepsTheBuiltInDefaults) {
    takeRequests();
    teams.loadStoredTeam(device, controls);
    EXPECT_EQ(teams.teamInUse(), 0);
    EXPECT_TRUE(takeRequests().empty());
    EXPECT_EQ(device.gamma(), 100);
    EXPECT_EQ(controls.saturation(), 128);
    EXPECT_FALSE(fs::exists(storePath));
}
