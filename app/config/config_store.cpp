#include "config/config_store.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <pugixml.hpp>
#include <sstream>

#include "common/atomic_file.h"
#include "config/decimal_text.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kRootName = "Velmar";
constexpr const char* kConfigurationName = "Attribute";
constexpr const char* kNameAttribute = "Name";

// The fields of a configuration in file order, with the text a new file gets.
// Gain and Contrast depend on the camera family (see defaultText).
struct Field {
    const char* name;
    const char* defaultText;
};
constexpr Field kFields[ConfigStore::kFieldCount] = {
    {"Resolution", "0"},
    {"AutoExposure", "0"},
    {"ExposureTime", "200"},
    {"Gain", "40"},
    {"Contrast", "0"},
    {"Gamma", "100"},
    {"Horizontal", "0"},
    {"Vertical", "0"},
    {"ExpWarning", "0"},
    {"IntegralCount", "1"},
    {"IntegralTime", "200"},
    {"FileName", "Kd"},
    {"FileIndex", "0"},
    {"FileUseTime", "1"},
    {"X1", "0"},
    {"X2", "0"},
    {"Y1", "0"},
    {"Y2", "0"},
    {"RGain", "64"},
    {"GGain", "64"},
    {"BGain", "64"},
    {"Enhancement", "1"},
    {"Saturation", "128"},
    {"Monochrome", "0"},
    {"FrameSpeed", "1"},
    {"LongExpPower", "0"},
    {"Integral", "0"},
};

enum Position {
    kResolution = 0,
    kAutoExposure = 1,
    kExposureTime,
    kGain,
    kContrast,
    kGamma,
    kHorizontal,
    kVertical,
    kExpWarning,
    kIntegralCount,
    kIntegralTime,
    kFileName,
    kFileIndex,
    kFileUseTime,
    kX1,
    kX2,
    kY1,
    kY2,
    kRGain,
    kGGain,
    kBGain,
    kEnhancement,
    kSaturation,
    kMonochrome,
    kFrameSpeed,
    kLongExpPower,
    kIntegral,
};

// What the record fields and the camera commands take.
constexpr int kMaxResolutionIndex = 4;  // five resolution modes
constexpr int kMaxExposureMs = 55 * 60'000 + 59'999;
constexpr int kMaxSixteenBits = 0xFFFF;  // gains pass their low 16 bits
constexpr int kMaxByte = 0xFF;
constexpr int kMinSequenceFrames = 1, kMaxSequenceFrames = 50;
constexpr int kMaxSequenceTimeMs = 400 * 60'000 + 59'999;
constexpr int kMaxCropCoordinate = 0xFFFF;  // far beyond any sensor; the preview checks the frame
constexpr int kMaxFrameSpeed = 4;

constexpr const char* kNimbusGain = "0";
constexpr const char* kNimbusContrast = "128";

std::string defaultText(int position, int cameraType) {
    if (cameraType == KD_FAMILY_NIMBUS && position == kGain) return kNimbusGain;
    if (cameraType == KD_FAMILY_NIMBUS && position == kContrast) return kNimbusContrast;
    return kFields[position].defaultText;
}

// The element children of a node, in order; text, comments and the like are not
// configurations or fields.
std::vector<pugi::xml_node> elements(pugi::xml_node parent) {
    std::vector<pugi::xml_node> out;
    for (pugi::xml_node child = parent.first_child(); child; child = child.next_sibling())
        if (child.type() == pugi::node_element) out.push_back(child);
    return out;
}

pugi::xml_node rootOf(const pugi::xml_document& document) {
    const pugi::xml_node root = document.document_element();
    return std::strcmp(root.name(), kRootName) == 0 ? root : pugi::xml_node();
}

// Why the document cannot serve as the configuration list; empty when it can.
std::string unusableReason(const pugi::xml_document& document) {
    const pugi::xml_node root = rootOf(document);
    if (!root) return "it has no \"Velmar\" element";
    // The panel always shows and applies one; the last one cannot be deleted.
    const std::vector<pugi::xml_node> configurations = elements(root);
    if (configurations.empty()) return "it holds no configuration";
    for (const pugi::xml_node& configuration : configurations)
        if (!configuration.first_attribute()) return "a configuration has no name";
    return {};
}

int flag(const char* text) {
    return std::strcmp(text, "1") == 0 ? 1 : 0;
}

// Copies one field's text into the record by its position's rule.
void readField(int position, const char* text, CameraRecord& r) {
    auto number = [text](int minimum, int maximum) {
        return readClampedDecimal(text, minimum, maximum);
    };
    switch (position) {
        case kResolution:
            r.resolution_index = number(0, kMaxResolutionIndex);
            break;
        case kExposureTime:
            r.exposure_ms = static_cast<uint32_t>(number(0, kMaxExposureMs));
            break;
        case kGain:
            r.analog_gain = number(0, kMaxSixteenBits);
            break;
        case kContrast:
            r.contrast = static_cast<uint8_t>(number(0, kMaxByte));
            break;
        case kGamma:
            r.gamma = static_cast<uint8_t>(number(0, kMaxByte));
            break;
        case kHorizontal:
            r.mirror_1 = flag(text);
            break;
        case kVertical:
            r.mirror_2 = flag(text);
            break;
        case kExpWarning:
            r.over_exposure_warning = flag(text);
            break;
        case kIntegralCount:
            r.sequence_count = number(kMinSequenceFrames, kMaxSequenceFrames);
            break;
        case kIntegralTime:
            r.frame_time_ms = number(0, kMaxSequenceTimeMs);
            break;
        case kFileName: {
            const std::size_t length =
                std::min(std::strlen(text), std::size_t{CAMERA_RECORD_TEXT - 1});
            std::memcpy(r.file_name, text, length);
            r.file_name[length] = '\0';
            break;
        }
        case kFileIndex:
            r.file_index = flag(text);
            break;
        case kFileUseTime:
            r.file_use_time = flag(text);
            break;
        case kX1:
            r.crop_left = number(0, kMaxCropCoordinate);
            break;
        case kX2:
            r.crop_right = number(0, kMaxCropCoordinate);
            break;
        case kY1:
            r.crop_top = number(0, kMaxCropCoordinate);
            break;
        case kY2:
            r.crop_bottom = number(0, kMaxCropCoordinate);
            break;
        case kRGain:
            r.gain_r = number(0, kMaxSixteenBits);
            break;
        case kGGain:
            r.gain_g = number(0, kMaxSixteenBits);
            break;
        case kBGain:
            r.gain_b = number(0, kMaxSixteenBits);
            break;
        case kEnhancement:
            r.color_enhancement = flag(text);
            break;
        case kSaturation:
            r.saturation = number(0, kMaxByte);
            break;
        case kMonochrome:
            r.monochrome = flag(text);
            break;
        case kFrameSpeed:
            r.frame_speed = number(0, kMaxFrameSpeed);
            break;
        case kLongExpPower:
            r.long_exp_power = flag(text);
            break;
        case kIntegral:
            r.stack_checked = flag(text);
            break;
        default:
            break;  // AutoExposure is never read
    }
}

// XML 1.0 has no place for control characters other than tab and line breaks; other
// readers refuse the whole file over one, so they are left out of names and texts.
std::string xmlText(std::string_view text) {
    std::string out;
    for (const char c : text)
        if (static_cast<unsigned char>(c) >= 0x20 || c == '\t' || c == '\n' || c == '\r') out += c;
    return out;
}

std::string number(long long value) {
    return std::to_string(value);
}
std::string flagText(int32_t value) {
    return value != 0 ? "1" : "0";
}

// One field's text from the record.
std::string fieldText(int position, const CameraRecord& r) {
    switch (position) {
        case kResolution:
            return number(r.resolution_index & 0xFF);
        case kExposureTime:
            return number(r.exposure_ms);
        case kGain:
            return number(r.analog_gain & 0xFFFF);
        case kContrast:
            return number(r.contrast);
        case kGamma:
            return number(r.gamma);
        case kHorizontal:
            return flagText(r.mirror_1);
        case kVertical:
            return flagText(r.mirror_2);
        case kExpWarning:
            return flagText(r.over_exposure_warning);
        case kIntegralCount:
            return number(r.sequence_count);
        case kIntegralTime:
            return number(r.frame_time_ms);
        case kFileName:
            return xmlText(std::string_view(r.file_name, strnlen(r.file_name, CAMERA_RECORD_TEXT)));
        case kFileIndex:
            return flagText(r.file_index);
        case kFileUseTime:
            return flagText(r.file_use_time);
        case kX1:
            return number(r.crop_left);
        case kX2:
            return number(r.crop_right);
        case kY1:
            return number(r.crop_top);
        case kY2:
            return number(r.crop_bottom);
        case kRGain:
            return number(r.gain_r);
        case kGGain:
            return number(r.gain_g);
        case kBGain:
            return number(r.gain_b);
        case kEnhancement:
            return flagText(r.color_enhancement);
        case kSaturation:
            return number(r.saturation);
        case kMonochrome:
            return flagText(r.monochrome);
        case kFrameSpeed:
            return number(r.frame_speed & 0xFF);
        case kLongExpPower:
            return flagText(r.long_exp_power);
        case kIntegral:
            return flagText(r.stack_checked);
        default:
            return {};  // AutoExposure is left empty
    }
}

void appendConfiguration(pugi::xml_node root, const std::string& name,
                         const std::function<std::string(int)>& text) {
    pugi::xml_node configuration = root.append_child(kConfigurationName);
    configuration.append_attribute(kNameAttribute).set_value(name.c_str());
    for (int position = 0; position < ConfigStore::kFieldCount; ++position) {
        pugi::xml_node field = configuration.append_child(kFields[position].name);
        const std::string value = text(position);
        if (!value.empty()) field.text().set(value.c_str());
    }
}

// Reads the whole file into `out`; on failure, why it could not be read.
std::string readWholeFile(const std::string& path, std::string& out) {
    std::error_code error;
    const auto size = fs::file_size(path, error);
    if (error) return "it cannot be read: " + error.message();
    if (size > ConfigStore::kMaxFileBytes)
        return "it is larger than " + std::to_string(ConfigStore::kMaxFileBytes) + " bytes";
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    if (in) text << in.rdbuf();
    if (!in || in.bad()) return "it cannot be read";
    out = text.str();
    // It may have grown since its size was taken.
    if (out.size() > ConfigStore::kMaxFileBytes) return "it is too large";
    return {};
}

// The folder is made when missing; the file itself is replaced only once the new text
// is complete and on the disk, so a crash leaves the old file or the new one, never a part.
bool replaceFileAtomically(const std::string& path, const std::string& text) {
    std::error_code ignored;
    const fs::path folder = fs::path(path).parent_path();
    if (!folder.empty()) fs::create_directories(folder, ignored);
    std::string error;
    return corvalis::replaceFile(
        path,
        [&](std::FILE* file) {
            return std::fwrite(text.data(), 1, text.size(), file) == text.size();
        },
        error);
}

std::string serialise(const pugi::xml_document& document) {
    std::ostringstream out;
    document.save(out, "\t", pugi::format_default, pugi::encoding_utf8);
    return out.str();
}

// A name beside the file that does not exist yet: "<path>.unreadable-<UTC time>[-n]".
std::string setAsideName(const std::string& path) {
    const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::tm utc{};
    gmtime_r(&now, &utc);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &utc);
    const std::string base = path + ".unreadable-" + stamp;
    std::string candidate = base;
    std::error_code ignored;
    for (int n = 1; fs::exists(candidate, ignored) || fs::is_symlink(candidate, ignored); ++n)
        candidate = base + "-" + std::to_string(n);
    return candidate;
}

}  // namespace

ConfigStore::ConfigStore() = default;
ConfigStore::~ConfigStore() = default;

void ConfigStore::tell(const std::string& text) {
    if (notice_) notice_(text);
}

void ConfigStore::buildDefault(pugi::xml_document& document) const {
    document.reset();
    pugi::xml_node root = document.append_child(kRootName);
    appendConfiguration(root, kNewConfigurationName,
                        [this](int position) { return defaultText(position, cameraType_); });
}

bool ConfigStore::save(const pugi::xml_document& document) {
    if (!inMemory_ && replaceFileAtomically(path_, serialise(document))) return true;
    if (!inMemory_) {
        inMemory_ = true;
        tell("The settings configurations cannot be saved in \"" + path_ +
             "\". They are kept until the program ends.");
    }
    if (memory_.get() != &document) {
        memory_ = std::make_unique<pugi::xml_document>();
        memory_->reset(document);
    }
    return true;
}

int ConfigStore::CreateDefault() {
    pugi::xml_document document;
    buildDefault(document);
    return save(document) ? kDone : kRefused;
}

void ConfigStore::setAside(const std::string& reason) {
    const std::string aside = setAsideName(path_);
    if (::rename(path_.c_str(), aside.c_str()) == 0) {
        setAsidePath_ = aside;
        tell("The settings configurations in \"" + path_ + "\" could not be read (" + reason +
             "). The file was kept as \"" + aside +
             "\" and a new one with the default configuration was made.");
        return;
    }
    // Cannot even rename: the folder is not ours to write, so the file stays untouched
    // and the program works on a default in memory (save() says so).
    inMemory_ = true;
    tell("The settings configurations in \"" + path_ + "\" could not be read (" + reason +
         ") and the folder cannot be written. A default configuration is used until the "
         "program ends; the file was left as it is.");
}

pugi::xml_document* ConfigStore::open(pugi::xml_document& scratch) {
    if (inMemory_ && memory_) return memory_.get();
    if (!inMemory_) {
        std::string text;
        std::error_code error;
        if (fs::exists(path_, error) || fs::is_symlink(path_, error)) {
            std::string reason = readWholeFile(path_, text);
            if (reason.empty()) {
                const pugi::xml_parse_result parsed = scratch.load_buffer(
                    text.data(), text.size(),
                    pugi::parse_default | pugi::parse_comments | pugi::parse_pi |
                        pugi::parse_declaration | pugi::parse_doctype);
                reason = parsed ? unusableReason(scratch) : std::string(parsed.description());
                if (reason.empty()) return &scratch;
            }
            setAside(reason);
        }
    }
    // Missing, or just set aside: a fresh default takes its place.
    buildDefault(scratch);
    if (!save(scratch)) return nullptr;
    return inMemory_ ? memory_.get() : &scratch;
}

std::vector<std::string> ConfigStore::FillList() {
    pugi::xml_document scratch;
    pugi::xml_document* document = open(scratch);
    std::vector<std::string> names;
    if (document == nullptr) return names;
    for (const pugi::xml_node& configuration : elements(rootOf(*document)))
        names.emplace_back(configuration.first_attribute().value());
    return names;
}

int ConfigStore::Apply(CameraRecord& record, int index) {
    pugi::xml_document scratch;
    pugi::xml_document* document = open(scratch);
    if (document == nullptr) return kRefused;
    const std::vector<pugi::xml_node> configurations = elements(rootOf(*document));
    if (index < 0 || static_cast<std::size_t>(index) >= configurations.size()) return kRefused;
    const std::vector<pugi::xml_node> fields = elements(configurations[index]);
    const std::size_t count = std::min<std::size_t>(fields.size(), kFieldCount);
    for (std::size_t position = 0; position < count; ++position)
        readField(static_cast<int>(position), fields[position].child_value(), record);
    // A crop kept for a larger resolution is cut to the frame, and an empty rectangle
    // (nothing could be shown) stands for the whole frame.
    if (record.image_width > 0) record.crop_right = std::min(record.crop_right, record.image_width);
    if (record.image_height > 0)
        record.crop_bottom = std::min(record.crop_bottom, record.image_height);
    if (record.crop_right <= record.crop_left || record.crop_bottom <= record.crop_top) {
        record.crop_left = 0;
        record.crop_top = 0;
        record.crop_right = record.image_width;
        record.crop_bottom = record.image_height;
    }
    return kDone;
}

int ConfigStore::Add(const CameraRecord& record) {
    pugi::xml_document scratch;
    pugi::xml_document* document = open(scratch);
    if (document == nullptr) return kRefused;
    appendConfiguration(rootOf(*document), kNewConfigurationName,
                        [&record](int position) { return fieldText(position, record); });
    return save(*document) ? kDone : kRefused;
}

int ConfigStore::Modify(const std::string& name, const CameraRecord& record, int index) {
    pugi::xml_document scratch;
    pugi::xml_document* document = open(scratch);
    if (document == nullptr) return kRefused;
    const std::vector<pugi::xml_node> configurations = elements(rootOf(*document));
    if (index < 0 || static_cast<std::size_t>(index) >= configurations.size()) return kRefused;
    pugi::xml_node configuration = configurations[index];
    configuration.first_attribute().set_value(xmlText(name).c_str());
    // A configuration cut short by hand gets its missing fields back, named as usual.
    std::vector<pugi::xml_node> fields = elements(configuration);
    for (std::size_t position = fields.size(); position < kFieldCount; ++position)
        fields.push_back(configuration.append_child(kFields[position].name));
    for (int position = 0; position < kFieldCount; ++position) {
        if (position == kAutoExposure) continue;
        fields[position].text().set(fieldText(position, record).c_str());
    }
    return save(*document) ? kDone : kRefused;
}

int ConfigStore::Delete(int index) {
    pugi::xml_document scratch;
    pugi::xml_document* document = open(scratch);
    if (document == nullptr) return kRefused;
    pugi::xml_node root = rootOf(*document);
    const std::vector<pugi::xml_node> configurations = elements(root);
    if (configurations.size() <= 1 || index < 0 ||
        static_cast<std::size_t>(index) >= configurations.size())
        return kRefused;
    root.remove_child(configurations[index]);
    return save(*document) ? kDone : kRefused;
}
