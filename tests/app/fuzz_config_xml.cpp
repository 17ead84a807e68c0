// libFuzzer target for reading Config.xml: any bytes as the file (in shared memory),
// then every operation the panel uses. A file the store cannot use must be kept aside
// byte for byte, and the list must never come back empty. Built and run by
// scripts/fuzz-config-xml.sh, not by the tests; its findings are replayed by the
// tests from tests/app/config_xml_regressions/.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "config/config_store.h"

namespace {

std::string wholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string folder = "/dev/shm/fuzz_config_xml_" + std::to_string(::getpid());
    static const std::string path = folder + "/Config.xml";
    static const bool made = [] {
        std::error_code error;
        std::filesystem::create_directories(folder, error);
        // The folder goes when the run ends, so shared memory does not fill with them.
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(folder, ignored);
        });
        return !error;
    }();
    if (!made) return 0;
    const std::string input(reinterpret_cast<const char*>(data), size);
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << input;
        if (!out) return 0;
    }

    ConfigStore store;
    store.SetFileName(path);
    const std::vector<std::string> names = store.FillList();
    if (names.empty()) __builtin_trap();
    if (!store.SetAsidePath().empty()) {
        if (wholeFile(store.SetAsidePath()) != input) __builtin_trap();
        std::remove(store.SetAsidePath().c_str());
    }
    CameraRecord record;
    std::memset(&record, 0, sizeof record);
    for (int i = 0; i < static_cast<int>(names.size()); ++i) {
        if (store.Apply(record, i) != ConfigStore::kDone) __builtin_trap();
        if (strnlen(record.file_name, CAMERA_RECORD_TEXT) >= CAMERA_RECORD_TEXT) __builtin_trap();
    }
    if (store.Modify("fuzz", record, 0) != ConfigStore::kDone) __builtin_trap();
    if (store.Add(record) != ConfigStore::kDone) __builtin_trap();
    if (store.Delete(0) != ConfigStore::kDone) __builtin_trap();
    if (store.FillList().size() != names.size()) __builtin_trap();
    return 0;
}
