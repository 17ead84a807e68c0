// The settings configurations in Config.xml: what each operation leaves in the file
// (read back with xmllint, an XML reader that is not ours), how a configuration lands
// in the camera record, and what happens to files that cannot be used.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "config/config_store.h"
#include "file_size_limit.h"
#include "file_text.h"
#include "scratch_directory.h"

namespace {

namespace fs = std::filesystem;

bool xmllintPresent() {
    return std::system("command -v xmllint >/dev/null 2>&1") == 0;
}

// The value of an XPath expression over the file, as xmllint prints it.
std::string xpath(const fs::path& file, const std::string& expression) {
    const std::string command =
        "xmllint --xpath '" + expression + "' '" + file.string() + "' 2>/dev/null";
    std::string out;
    if (std::FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
        ::pclose(pipe);
    }
    if (!out.empty() && out.back() == '\n') out.pop_back();  // xmllint ends the value with one
    return out;
}

// A record whose every stored field differs from the defaults of a new file.
CameraRecord sampleRecord() {
    CameraRecord r;
    std::memset(&r, 0, sizeof r);  // padding too, so whole records compare
    r.resolution_index = 3;
    r.auto_exposure = 1;
    r.exposure_ms = 125'000;
    r.analog_gain = 300;
    r.contrast = 20;
    r.gamma = 35;
    r.mirror_1 = 1;
    r.mirror_2 = 0;
    r.over_exposure_warning = 1;
    r.sequence_count = 12;
    r.frame_time_ms = 4500;
    std::strcpy(r.file_name, "M42 <core> & wings");
    r.file_index = 1;
    r.file_use_time = 0;
    r.crop_left = 100;
    r.crop_right = 900;
    r.crop_top = 50;
    r.crop_bottom = 650;
    r.gain_r = 70;
    r.gain_g = 64;
    r.gain_b = 90;
    r.color_enhancement = 0;
    r.saturation = 200;
    r.monochrome = 1;
    r.frame_speed = 3;
    r.long_exp_power = 1;
    r.stack_checked = 1;
    return r;
}

// One configuration in the file's own format; `fields` are the 27 texts in order.
std::string configurationXml(const std::string& name, const std::vector<std::string>& fields) {
    static const char* kNames[] = {
        "Resolution",   "AutoExposure", "ExposureTime", "Gain",        "Contrast",
        "Gamma",        "Horizontal",   "Vertical",     "ExpWarning",  "IntegralCount",
        "IntegralTime", "FileName",     "FileIndex",    "FileUseTime", "X1",
        "X2",           "Y1",           "Y2",           "RGain",       "GGain",
        "BGain",        "Enhancement",  "Saturation",   "Monochrome",  "FrameSpeed",
        "LongExpPower", "Integral"};
    std::string xml = "<Attribute Name=\"" + name + "\">";
    for (std::size_t i = 0; i < fields.size(); ++i)
        xml += std::string("<") + kNames[i] + ">" + fields[i] + "</" + kNames[i] + ">";
    return xml + "</Attribute>";
}

// A configuration as someone might write it by hand.
std::vector<std::string> handFields() {
    return {"2",  "0",    "1500",    "120", "30", "55", "1",   "1",  "0",
            "5",  "1500", "Jupiter", "1",   "0",  "10", "410", "20", "320",
            "80", "60",   "50",      "0",   "99", "0",  "2",   "1",  "0"};
}

class ConfigStoreTest : public ::testing::Test {
  protected:
    void SetUp() override {
        store_.SetFileName(file_.string());
        store_.SetNoticeSink([this](const std::string& text) { notices_.push_back(text); });
    }
    void writeFile(const std::string& text) { writeText(file_, text); }
    void requireXmllint() {
        if (!xmllintPresent()) GTEST_SKIP() << "xmllint (libxml2-utils) is not installed";
    }

    ScratchDirectory scratch_{"config-store"};
    fs::path file_ = scratch_.path() / "Config.xml";
    ConfigStore store_;
    std::vector<std::string> notices_;
};

// ---------------------------------------------------------------------------------
// A new file, as another reader sees it.

TEST_F(ConfigStoreTest, ADefaultFileHoldsOneConfigurationWithEveryFieldInOrder) {
    requireXmllint();
    store_.SetCameraType(KD_FAMILY_OSTRA);
    ASSERT_EQ(store_.CreateDefault(), ConfigStore::kDone);
    EXPECT_EQ(xpath(file_, "count(/Velmar/Attribute)"), "1");
    EXPECT_EQ(xpath(file_, "string(/Velmar/Attribute/@Name)"), "new configuration");
    EXPECT_EQ(xpath(file_, "count(/Velmar/Attribute/*)"), "27");
    EXPECT_EQ(xpath(file_, "name(/Velmar/Attribute/*[1])"), "Resolution");
    EXPECT_EQ(xpath(file_, "name(/Velmar/Attribute/*[12])"), "FileName");
    EXPECT_EQ(xpath(file_, "name(/Velmar/Attribute/*[27])"), "Integral");
    EXPECT_EQ(xpath(file_, "string(/Velmar/Attribute/ExposureTime)"), "200");
    EXPECT_EQ(xpath(file_, "string(/Velmar/Attribute/Gain)"), "40");
    EXPECT_EQ(xpath(file_, "string(/Velmar/Attribute/Contrast)"), "0");
    EXPECT_EQ(xpath(file_, "string(/Velmar/Attribute/FileName)"), "Kd");
    EXPECT_EQ(xpath(file_, "concat(//X1,//X2,//Y1,//Y2)"), "0000");
    EXPECT_EQ(xpath(file_, "concat(//RGain,//GGain,//BGain,//Saturation)"), "646464128");
    EXPECT_EQ(xpath(file_, "concat(//FileUseTime,//Enhancement,//FrameSpeed,//AutoExposure)"),
              "1110");
    EXPECT_FALSE(fs::exists(file_.string() + ".tmp"));
}

TEST_F(ConfigStoreTest, TheSecondFamilyGetsItsOwnGainAndContrastDefaults) {
    requireXmllint();
    store_.SetCameraType(KD_FAMILY_NIMBUS);
    ASSERT_EQ(store_.CreateDefault(), ConfigStore::kDone);
    EXPECT_EQ(xpath(file_, "string(//Gain)"), "0");
    EXPECT_EQ(xpath(file_, "string(//Contrast)"), "128");
}

TEST_F(ConfigStoreTest, AMissingFileIsCreatedOnFirstUseWithoutBotheringTheUser) {
    requireXmllint();
    const fs::path nested = scratch_.path() / "not" / "yet" / "Config.xml";
    store_.SetFileName(nested.string());
    EXPECT_EQ(store_.FillList(), std::vector<std::string>{"new configuration"});
    EXPECT_EQ(xpath(nested, "count(/Velmar/Attribute/*)"), "27");
    EXPECT_TRUE(notices_.empty());
}

// ---------------------------------------------------------------------------------
// Applying a configuration to the record.

TEST_F(ConfigStoreTest, AHandWrittenConfigurationLandsInTheRecordFieldByField) {
    writeFile("<?xml version=\"1.0\"?>\n<Velmar>\n" +
              configurationXml("Flats", std::vector<std::string>(27, "0")) + "\n" +
              configurationXml("Jupiter", handFields()) + "\n</Velmar>\n");
    EXPECT_EQ(store_.FillList(), (std::vector<std::string>{"Flats", "Jupiter"}));
    CameraRecord r{};
    r.auto_exposure = 1;
    ASSERT_EQ(store_.Apply(r, 1), ConfigStore::kDone);
    EXPECT_EQ(r.resolution_index, 2);
    EXPECT_EQ(r.auto_exposure, 1);
    EXPECT_EQ(r.exposure_ms, 1500u);
    EXPECT_EQ(r.analog_gain, 120);
    EXPECT_EQ(r.contrast, 30);
    EXPECT_EQ(r.gamma, 55);
    EXPECT_EQ(r.mirror_1, 1);
    EXPECT_EQ(r.mirror_2, 1);
    EXPECT_EQ(r.over_exposure_warning, 0);
    EXPECT_EQ(r.sequence_count, 5);
    EXPECT_EQ(r.frame_time_ms, 1500);
    EXPECT_STREQ(r.file_name, "Jupiter");
    EXPECT_EQ(r.file_index, 1);
    EXPECT_EQ(r.file_use_time, 0);
    EXPECT_EQ(r.crop_left, 10);
    EXPECT_EQ(r.crop_right, 410);
    EXPECT_EQ(r.crop_top, 20);
    EXPECT_EQ(r.crop_bottom, 320);
    EXPECT_EQ(r.gain_r, 80);
    EXPECT_EQ(r.gain_g, 60);
    EXPECT_EQ(r.gain_b, 50);
    EXPECT_EQ(r.color_enhancement, 0);
    EXPECT_EQ(r.saturation, 99);
    EXPECT_EQ(r.monochrome, 0);
    EXPECT_EQ(r.frame_speed, 2);
    EXPECT_EQ(r.long_exp_power, 1);
    EXPECT_EQ(r.stack_checked, 0);
}

TEST_F(ConfigStoreTest, OnlyTheExactTextOneSetsAFlag) {
    std::vector<std::string> fields = handFields();
    fields[6] = " 1";   // Horizontal
    fields[7] = "yes";  // Vertical
    fields[25] = "1 ";  // LongExpPower
    fields[21] = "01";  // Enhancement
    writeFile("<Velmar>" + configurationXml("a", fields) + "</Velmar>");
    CameraRecord r{};
    r.mirror_1 = r.mirror_2 = r.long_exp_power = r.color_enhancement = 1;
    ASSERT_EQ(store_.Apply(r, 0), ConfigStore::kDone);
    EXPECT_EQ(r.mirror_1, 0);
    EXPECT_EQ(r.mirror_2, 0);
    EXPECT_EQ(r.long_exp_power, 0);
    EXPECT_EQ(r.color_enhancement, 0);
}

TEST_F(ConfigStoreTest, FieldsAreReadByPositionSoReorderedChildrenMoveValues) {
    // Gamma written before Contrast: the 55 now lands in contrast, the 30 in gamma.
    std::string xml = configurationXml("a", handFields());
    const std::string contrast = "<Contrast>30</Contrast>", gamma = "<Gamma>55</Gamma>";
    xml.replace(xml.find(contrast), contrast.size() + gamma.size(), gamma + contrast);
    writeFile("<Velmar>" + xml + "</Velmar>");
    CameraRecord r{};
    ASSERT_EQ(store_.Apply(r, 0), ConfigStore::kDone);
    EXPECT_EQ(r.contrast, 55);
    EXPECT_EQ(r.gamma, 30);
}

TEST_F(ConfigStoreTest, NumbersAreClampedToWhatTheRecordAndCameraTake) {
    std::vector<std::string> fields = handFields();
    fields[0] = "9";                     // Resolution: five modes, 0 to 4
    fields[2] = "-5000";                 // ExposureTime
    fields[3] = "99999999999999999999";  // Gain: would overflow an int
    fields[4] = "300";                   // Contrast is one byte
    fields[9] = "0";                     // IntegralCount: at least one frame
    fields[10] = "12abc";                // leading digits only
    fields[22] = "  +77";                // Saturation: blanks and a sign, as atoi reads them
    fields[24] = "260";                  // FrameSpeed
    fields[18] = "junk";                 // RGain: no digits give 0
    writeFile("<Velmar>" + configurationXml("a", fields) + "</Velmar>");
    CameraRecord r{};
    ASSERT_EQ(store_.Apply(r, 0), ConfigStore::kDone);
    EXPECT_EQ(r.resolution_index, 4);
    EXPECT_EQ(r.exposure_ms, 0u);
    EXPECT_EQ(r.analog_gain, 0xFFFF);
    EXPECT_EQ(r.contrast, 255);
    EXPECT_EQ(r.sequence_count, 1);
    EXPECT_EQ(r.frame_time_ms, 12);
    EXPECT_EQ(r.saturation, 77);
    EXPECT_EQ(r.frame_speed, 4);
    EXPECT_EQ(r.gain_r, 0);

    fields[2] = "999999999";  // longer than the longest exposure, 55 min 59.999 s
    writeFile("<Velmar>" + configurationXml("a", fields) + "</Velmar>");
    ASSERT_EQ(store_.Apply(r, 0), ConfigStore::kDone);
    EXPECT_EQ(r.exposure_ms, 3'359'999u);
}

TEST_F(ConfigStoreTest, AnEmptyCropMeansTheWholeFrame) {
    store_.CreateDefault();
    CameraRecord r{};
    r.image_width = 3032;
    r.image_height = 2018;
    r.crop_left = r.crop_top = 7;
    ASSERT_EQ(store_.Apply(r, 0), ConfigStore::kDone);
    EXPECT_EQ(r.crop_left, 0);
    EXPECT_EQ(r.crop_top, 0);
    EXPECT_EQ(r.crop_right, 3032);
    EXPECT_EQ(r.crop_bottom, 2018);
}

TEST_F(ConfigStoreTest, ACropLargerThanTheFrameIsCutToItOrDropped) {
    std::vector<std::string> fields = handFields();  // crop 10, 20 to 410, 320
    writeFile("<Velmar>" + configurationXml("a", fields) + "</Velmar>");
    CameraRecord r{};
    r.image_width = 300;  // a binned mode
    r.image_height = 200;
    ASSERT_EQ(store_.Apply(r, 0), ConfigStore::kDone);
    EXPECT_EQ(r.crop_left, 10);
    EXPECT_EQ(r.crop_top, 20);
    EXPECT_EQ(r.crop_right, 300);
    EXPECT_EQ(r.crop_bottom, 200);

    r.image_width = 8;  // the whole rectangle lies outside the frame
    ASSERT_EQ(store_.Apply(r, 0), ConfigStore::kDone);
    EXPECT_EQ(r.crop_left, 0);
    EXPECT_EQ(r.crop_right, 8);
    EXPECT_EQ(r.crop_bottom, 200);
}

TEST_F(ConfigStoreTest, AMissingFieldLeavesTheRecordsValue) {
    // Only the first twelve fields: the crop and everything after keep their values.
    std::vector<std::string> fields = handFields();
    fields.resize(12);
    writeFile("<Velmar>" + configurationXml("short", fields) + "</Velmar>");
    CameraRecord r = sampleRecord();
    ASSERT_EQ(store_.Apply(r, 0), ConfigStore::kDone);
    EXPECT_STREQ(r.file_name, "Jupiter");
    EXPECT_EQ(r.exposure_ms, 1500u);
    EXPECT_EQ(r.crop_right, 900);
    EXPECT_EQ(r.saturation, 200);
    EXPECT_EQ(r.stack_checked, 1);
    EXPECT_TRUE(notices_.empty());
}

TEST_F(ConfigStoreTest, ALongFileNameIsCutToTheRecordsField) {
    std::vector<std::string> fields = handFields();
    fields[11] = std::string(100'000, 'n');
    writeFile("<Velmar>" + configurationXml("a", fields) + "</Velmar>");
    CameraRecord r{};
    r.save_directory[0] = 'S';  // the field after file_name stays intact
    ASSERT_EQ(store_.Apply(r, 0), ConfigStore::kDone);
    EXPECT_EQ(std::strlen(r.file_name), std::size_t{CAMERA_RECORD_TEXT - 1});
    EXPECT_EQ(r.file_name[0], 'n');
    EXPECT_EQ(r.save_directory[0], 'S');
}

TEST_F(ConfigStoreTest, AnIndexPastTheEndIsRefusedAndChangesNothing) {
    store_.CreateDefault();
    const std::string before = readText(file_);
    CameraRecord r = sampleRecord();
    EXPECT_EQ(store_.Apply(r, 1), ConfigStore::kRefused);
    EXPECT_EQ(store_.Apply(r, -1), ConfigStore::kRefused);
    EXPECT_EQ(r.exposure_ms, 125'000u);
    EXPECT_EQ(store_.Modify("x", r, 1), ConfigStore::kRefused);
    EXPECT_EQ(readText(file_), before);
}

// ---------------------------------------------------------------------------------
// Adding, saving and deleting, as another reader sees the file.

TEST_F(ConfigStoreTest, AddAppendsTheRecordWithAnEmptyAutoExposure) {
    requireXmllint();
    store_.CreateDefault();
    const CameraRecord r = sampleRecord();
    ASSERT_EQ(store_.Add(r), ConfigStore::kDone);
    ASSERT_EQ(store_.Add(r), ConfigStore::kDone);
    EXPECT_EQ(store_.FillList(), std::vector<std::string>(3, "new configuration"));
    EXPECT_EQ(xpath(file_, "count(/Velmar/Attribute[@Name=\"new configuration\"])"), "3");
    EXPECT_EQ(xpath(file_, "count(/Velmar/Attribute[3]/AutoExposure/node())"), "0");
    EXPECT_EQ(xpath(file_, "string(/Velmar/Attribute[3]/FileName)"), "M42 <core> & wings");
    EXPECT_EQ(xpath(file_,
                    "concat(/Velmar/Attribute[3]/ExposureTime, \",\", "
                    "/Velmar/Attribute[3]/Gain, \",\", /Velmar/Attribute[3]/X2, \",\", "
                    "/Velmar/Attribute[3]/Integral)"),
              "125000,300,900,1");

    // Applying it never touches automatic exposure, and gives back the same values.
    CameraRecord back;
    std::memset(&back, 0, sizeof back);
    back.auto_exposure = 1;
    ASSERT_EQ(store_.Apply(back, 2), ConfigStore::kDone);
    EXPECT_EQ(back.auto_exposure, 1);
    back.auto_exposure = r.auto_exposure;
    EXPECT_EQ(std::memcmp(&back, &r, sizeof r), 0);
}

TEST_F(ConfigStoreTest, ModifyRenamesAndOverwritesButLeavesAutoExposure) {
    requireXmllint();
    std::vector<std::string> fields = handFields();
    fields[1] = "7";
    writeFile("<Velmar>" + configurationXml("Flats", std::vector<std::string>(27, "0")) +
              configurationXml("Jupiter", fields) + "</Velmar>");
    ASSERT_EQ(store_.Modify("Orion nebula", sampleRecord(), 1), ConfigStore::kDone);
    EXPECT_EQ(store_.FillList(), (std::vector<std::string>{"Flats", "Orion nebula"}));
    EXPECT_EQ(xpath(file_, "string(/Velmar/Attribute[2]/AutoExposure)"), "7");
    EXPECT_EQ(xpath(file_,
                    "concat(/Velmar/Attribute[2]/Resolution, \",\", "
                    "/Velmar/Attribute[2]/Horizontal, \",\", "
                    "/Velmar/Attribute[2]/Vertical, \",\", "
                    "/Velmar/Attribute[2]/Saturation)"),
              "3,1,0,200");
    EXPECT_EQ(xpath(file_, "string(/Velmar/Attribute[1]/Saturation)"), "0");
}

TEST_F(ConfigStoreTest, ControlCharactersAreLeftOutSoOtherReadersAcceptTheFile) {
    requireXmllint();
    store_.CreateDefault();
    CameraRecord r = sampleRecord();
    std::strcpy(r.file_name, "Ve\x01ga\x1b");
    ASSERT_EQ(store_.Modify("Lyra\x02 field", r, 0), ConfigStore::kDone);
    EXPECT_EQ(xpath(file_, "string(/Velmar/Attribute/@Name)"), "Lyra field");
    EXPECT_EQ(xpath(file_, "string(/Velmar/Attribute/FileName)"), "Vega");
}

TEST_F(ConfigStoreTest, ModifyCompletesAConfigurationCutShortByHand) {
    requireXmllint();
    std::vector<std::string> fields = handFields();
    fields.resize(5);
    writeFile("<Velmar>" + configurationXml("short", fields) + "</Velmar>");
    ASSERT_EQ(store_.Modify("full", sampleRecord(), 0), ConfigStore::kDone);
    EXPECT_EQ(xpath(file_, "count(/Velmar/Attribute/*)"), "27");
    EXPECT_EQ(xpath(file_, "name(/Velmar/Attribute/*[27])"), "Integral");
    EXPECT_EQ(xpath(file_, "string(/Velmar/Attribute/Y2)"), "650");
}

TEST_F(ConfigStoreTest, DeleteRemovesTheChosenConfigurationButNeverTheLastOne) {
    requireXmllint();
    writeFile("<Velmar>" + configurationXml("a", handFields()) +
              configurationXml("b", handFields()) + configurationXml("c", handFields()) +
              "</Velmar>");
    ASSERT_EQ(store_.Delete(1), ConfigStore::kDone);
    EXPECT_EQ(xpath(file_, "concat(/Velmar/Attribute[1]/@Name, /Velmar/Attribute[2]/@Name)"), "ac");
    EXPECT_EQ(store_.Delete(2), ConfigStore::kRefused);
    ASSERT_EQ(store_.Delete(0), ConfigStore::kDone);
    EXPECT_EQ(store_.Delete(0), ConfigStore::kRefused);
    EXPECT_EQ(xpath(file_, "count(/Velmar/Attribute)"), "1");
    EXPECT_EQ(xpath(file_, "string(/Velmar/Attribute/@Name)"), "c");
}

TEST_F(ConfigStoreTest, CommentsAndOtherNodesOfTheFileSurviveAChange) {
    requireXmllint();
    writeFile(
        "<?xml version=\"1.0\"?>\n<!-- night of the 3rd -->\n<Velmar>"
        "<!-- keep -->" +
        configurationXml("a", handFields()) + "</Velmar>");
    ASSERT_EQ(store_.Add(sampleRecord()), ConfigStore::kDone);
    const std::string text = readText(file_);
    EXPECT_TRUE(has(text, "<!-- night of the 3rd -->"));
    EXPECT_TRUE(has(text, "<!-- keep -->"));
    EXPECT_EQ(store_.FillList(), (std::vector<std::string>{"a", "new configuration"}));
}

// ---------------------------------------------------------------------------------
// Files that cannot be used are set aside, never lost, and the user hears once.

struct Unusable {
    const char* what;
    std::string text;
};

void PrintTo(const Unusable& file, std::ostream* out) {
    *out << file.what;
}

class UnusableFileTest : public ConfigStoreTest, public ::testing::WithParamInterface<Unusable> {};

TEST_P(UnusableFileTest, IsKeptAsideAndADefaultTakesItsPlace) {
    requireXmllint();
    const std::string original = GetParam().text;
    writeFile(original);
    EXPECT_EQ(store_.FillList(), std::vector<std::string>{"new configuration"});
    ASSERT_FALSE(store_.SetAsidePath().empty());
    EXPECT_TRUE(has(store_.SetAsidePath(), "Config.xml.unreadable-"));
    EXPECT_EQ(readText(store_.SetAsidePath()), original);
    EXPECT_EQ(xpath(file_, "count(/Velmar/Attribute/*)"), "27");
    ASSERT_EQ(notices_.size(), 1u);
    EXPECT_TRUE(has(notices_[0], store_.SetAsidePath()));
    // The new file serves the next operations without further notices.
    CameraRecord r{};
    EXPECT_EQ(store_.Apply(r, 0), ConfigStore::kDone);
    EXPECT_EQ(r.exposure_ms, 200u);
    EXPECT_EQ(notices_.size(), 1u);
}

std::string deepNesting(int depth) {
    std::string text = "<Velmar>";
    for (int i = 0; i < depth; ++i) text += "<a>";
    for (int i = 0; i < depth; ++i) text += "</a>";
    return text + "</Velmar>";
}

std::string twentyMegabytes() {
    std::string text = "<Velmar>";
    const std::string one = configurationXml("x", handFields());
    while (text.size() < 20 * 1024 * 1024) text += one;
    return text + "</Velmar>";
}

std::string truncatedFile() {
    const std::string whole = "<Velmar>" + configurationXml("a", handFields()) + "</Velmar>";
    return whole.substr(0, whole.size() / 2);
}

INSTANTIATE_TEST_SUITE_P(
    Files, UnusableFileTest,
    ::testing::Values(Unusable{"empty", ""}, Unusable{"not XML", "\x89PNG\r\n\x1a\n binary"},
                      Unusable{"truncated", truncatedFile()},
                      Unusable{"another root", "<Settings><Attribute Name=\"a\"/></Settings>"},
                      Unusable{"only a declaration", "<?xml version=\"1.0\"?>"},
                      Unusable{"nameless configuration", "<Velmar><Attribute/></Velmar>"},
                      Unusable{"no configuration", "<Velmar>text<!-- only --></Velmar>"},
                      Unusable{"deep nesting", deepNesting(200'000)},
                      Unusable{"unclosed deep nesting", std::string(300'000, '<') + "Velmar"},
                      Unusable{"twenty megabytes", twentyMegabytes()}),
    [](const ::testing::TestParamInfo<Unusable>& info) {
        std::string name;
        for (const char c : std::string(info.param.what)) name += std::isalnum(c) ? c : '_';
        return name;
    });

TEST_F(ConfigStoreTest, AnUnusableFileFoundByAChangeIsKeptBeforeTheChange) {
    writeFile("<Velmar><Attribute Name=\"a\">");
    const std::string original = readText(file_);
    EXPECT_EQ(store_.Add(sampleRecord()), ConfigStore::kDone);
    EXPECT_EQ(readText(store_.SetAsidePath()), original);
    EXPECT_EQ(store_.FillList(),
              (std::vector<std::string>{"new configuration", "new configuration"}));
}

TEST_F(ConfigStoreTest, TwoUnusableFilesInOneSecondAreKeptUnderTwoNames) {
    writeFile("first");
    store_.FillList();
    const std::string firstAside = store_.SetAsidePath();
    writeFile("second");
    store_.FillList();
    EXPECT_NE(store_.SetAsidePath(), firstAside);
    EXPECT_EQ(readText(firstAside), "first");
    EXPECT_EQ(readText(store_.SetAsidePath()), "second");
    EXPECT_EQ(notices_.size(), 2u);
}

// ---------------------------------------------------------------------------------
// Saving: atomic, and in memory when the folder cannot be written.

TEST_F(ConfigStoreTest, AUserFileNamedLikeATemporaryIsLeftAlone) {
    writeText(file_.string() + ".tmp", "<Velmar><Attribute Name=\"half");
    store_.CreateDefault();
    EXPECT_EQ(store_.Add(sampleRecord()), ConfigStore::kDone);
    EXPECT_EQ(readText(file_.string() + ".tmp"), "<Velmar><Attribute Name=\"half");
    EXPECT_EQ(store_.FillList().size(), 2u);
}

TEST_F(ConfigStoreTest, AFailedSaveLeavesTheOldFileWholeAndKeepsTheChangeInMemory) {
    store_.CreateDefault();
    const std::string before = readText(file_);
    {
        // The disk fills up: the longer file cannot be written, even by root.
        FileSizeLimit full(before.size() + 16);
        EXPECT_EQ(store_.Add(sampleRecord()), ConfigStore::kDone);
    }
    EXPECT_TRUE(store_.InMemory());
    EXPECT_EQ(readText(file_), before);
    EXPECT_EQ(store_.FillList().size(), 2u);
    ASSERT_EQ(notices_.size(), 1u);
    EXPECT_EQ(store_.Delete(0), ConfigStore::kDone);
    EXPECT_EQ(store_.Modify("only", sampleRecord(), 0), ConfigStore::kDone);
    EXPECT_EQ(store_.FillList(), std::vector<std::string>{"only"});
    EXPECT_EQ(notices_.size(), 1u);
    EXPECT_EQ(readText(file_), before);
}

TEST_F(ConfigStoreTest, AFolderThatCannotBeMadeGivesAnInMemoryDefaultAndOneNotice) {
    // A plain file where the folder should be.
    writeText(scratch_.path() / "blocked", "");
    store_.SetFileName((scratch_.path() / "blocked" / "Config.xml").string());
    EXPECT_EQ(store_.FillList(), std::vector<std::string>{"new configuration"});
    EXPECT_TRUE(store_.InMemory());
    EXPECT_EQ(store_.Add(sampleRecord()), ConfigStore::kDone);
    CameraRecord r{};
    EXPECT_EQ(store_.Apply(r, 1), ConfigStore::kDone);
    EXPECT_EQ(r.exposure_ms, 125'000u);
    EXPECT_EQ(notices_.size(), 1u);
}

// ---------------------------------------------------------------------------------
// Inputs the fuzzer found troublesome are replayed here.

TEST_F(ConfigStoreTest, RegressionFilesNeitherCrashNorGetLost) {
    const fs::path folder = CONFIG_XML_REGRESSIONS_DIR;
    int replayed = 0;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        if (!entry.is_regular_file()) continue;
        SCOPED_TRACE(entry.path().filename().string());
        const std::string original = readText(entry.path());
        ScratchDirectory one("config-regression");
        const fs::path path = one.path() / "Config.xml";
        writeText(path, original);
        ConfigStore store;
        store.SetFileName(path.string());
        const std::vector<std::string> names = store.FillList();
        ASSERT_FALSE(names.empty());
        if (!store.SetAsidePath().empty()) {
            EXPECT_EQ(readText(store.SetAsidePath()), original);
        }
        CameraRecord r{};
        for (int i = 0; i < static_cast<int>(names.size()); ++i) store.Apply(r, i);
        EXPECT_EQ(std::strlen(r.file_name) < CAMERA_RECORD_TEXT, true);
        EXPECT_EQ(store.Modify("m", r, 0), ConfigStore::kDone);
        EXPECT_EQ(store.Add(r), ConfigStore::kDone);
        EXPECT_EQ(store.Delete(0), ConfigStore::kDone);
        EXPECT_EQ(store.FillList().size(), names.size());
        ++replayed;
    }
    EXPECT_GT(replayed, 0);
}

}  // namespace
