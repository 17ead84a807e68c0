// Linked into every test binary: each test process gets its own empty registry store,
// configuration directory and pictures folder, made before any test runs and removed
// at exit. Tests
// then never read what another test (or the user) saved - a parameter team left with
// a one-minute exposure would otherwise change the next test's pictures - and never
// write into the user's own configuration or pictures.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

namespace {

class PrivateConfig {
  public:
    PrivateConfig() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "corvalis-test-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) std::abort();
        dir_ = pattern;
        ::setenv("CORVALIS_REGISTRY", (dir_ / "registry.ini").c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (dir_ / "config").c_str(), 1);
        // The desktop's folder settings live beside the configuration; the pictures
        // folder they name is the private one (not created: the program's first save
        // makes its folder).
        std::filesystem::create_directories(dir_ / "config");
        std::ofstream(dir_ / "config" / "user-dirs.dirs")
            << "XDG_PICTURES_DIR=\"" << (dir_ / "pictures").string() << "\"\n";
    }
    ~PrivateConfig() {
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }

  private:
    std::filesystem::path dir_;
};

const PrivateConfig privateConfig;

}  // namespace
