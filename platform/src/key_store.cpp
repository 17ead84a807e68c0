#include "platform/key_store.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include "common/ini_file.h"

namespace corvalis::platform {

namespace {

void report(const std::string& message) {
    std::fprintf(stderr, "Key store: %s\n", message.c_str());
}

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

std::string homeDirectory() {
    std::string home = environment("HOME");
    if (!home.empty()) return home;
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
        found != nullptr && found->pw_dir != nullptr)
        home = found->pw_dir;
    return home;
}

// Names the store file could not hold as a section or a key are refused up front,
// so a bad name never reaches the file.
bool blank(const std::string& name) {
    return name.find_first_not_of(" \t\v\f") == std::string::npos;
}

bool validKey(const std::string& key) {
    return !blank(key) && key.find_first_of("]\r\n") == std::string::npos;
}

bool validValueName(const std::string& name) {
    return !blank(name) && name.front() != '[' && name.front() != ';' &&
           name.find_first_of("=\r\n") == std::string::npos;
}

bool havePath(const std::string& path) {
    if (path.empty())
        report("no store file: neither CORVALIS_REGISTRY nor a home directory is set");
    return !path.empty();
}

bool load(const std::string& path, IniFile& file) {
    if (!havePath(path)) return false;
    std::string error;
    if (file.load(path, error)) return true;
    report(error);
    return false;
}

// Holds the exclusive lock on "<store>.lock" while it lives. A lock file of its own
// survives the renames that replace the store, so every writer locks the same file.
class WriteLock {
  public:
    explicit WriteLock(const std::string& storePath) {
        const std::string lockPath = storePath + ".lock";
        fd_ = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd_ < 0) {
            report("cannot open " + lockPath + ": " + std::strerror(errno));
            return;
        }
        int result;
        do {
            result = ::flock(fd_, LOCK_EX);
        } while (result != 0 && errno == EINTR);
        if (result != 0) {
            report("cannot lock " + lockPath + ": " + std::strerror(errno));
            ::close(fd_);
            fd_ = -1;
        }
    }
    ~WriteLock() {
        if (fd_ >= 0) ::close(fd_);  // closing releases the lock
    }
    WriteLock(const WriteLock&) = delete;
    WriteLock& operator=(const WriteLock&) = delete;

    bool held() const { return fd_ >= 0; }

  private:
    int fd_ = -1;
};

enum class Change { None, Made, Refused };

// Reads the store under the write lock, lets `change` edit it and writes it back when
// something changed.
template <typename Edit>
bool modify(const std::string& path, Edit change) {
    if (!havePath(path)) return false;
    std::error_code error;
    const auto directory = std::filesystem::path(path).parent_path();
    if (!directory.empty()) std::filesystem::create_directories(directory, error);
    if (error) {
        report("cannot create " + directory.string() + ": " + error.message());
        return false;
    }
    WriteLock lock(path);
    if (!lock.held()) return false;
    IniFile file;
    if (!load(path, file)) return false;
    const Change result = change(file);
    if (result != Change::Made) return result == Change::None;
    std::string message;
    if (file.save(path, message)) return true;
    report(message);
    return false;
}

}  // namespace

KeyStore::KeyStore(std::string path) : path_(std::move(path)) {}

KeyStore KeyStore::forUser() {
    return KeyStore(userStorePath());
}

std::string KeyStore::userStorePath() {
    const std::string explicitPath = environment("CORVALIS_REGISTRY");
    if (!explicitPath.empty()) return explicitPath;
    // Relative values are not meant to be used, says the base directory convention.
    std::string config = environment("XDG_CONFIG_HOME");
    if (config.empty() || config.front() != '/') {
        const std::string home = homeDirectory();
        if (home.empty()) return {};
        config = home + "/.config";
    }
    return config + "/corvalis/registry.ini";
}

bool KeyStore::keyExists(const std::string& key) const {
    IniFile file;
    return validKey(key) && load(path_, file) && file.hasSection(key);
}

bool KeyStore::createKey(const std::string& key) const {
    if (!validKey(key)) {
        report("refusing the key name \"" + key + "\"");
        return false;
    }
    return modify(path_, [&](IniFile& file) {
        if (file.hasSection(key)) return Change::None;
        return file.addSection(key) ? Change::Made : Change::Refused;
    });
}

bool KeyStore::readDword(const std::string& key, const std::string& name,
                         std::uint32_t& value) const {
    IniFile file;
    if (!validKey(key) || !validValueName(name) || !load(path_, file)) return false;
    const auto text = file.value(key, name);
    if (!text || text->empty()) return false;
    std::uint32_t parsed = 0;
    const char* end = text->data() + text->size();
    const auto [stop, error] = std::from_chars(text->data(), end, parsed);
    if (error != std::errc() || stop != end) return false;
    value = parsed;
    return true;
}

bool KeyStore::writeDword(const std::string& key, const std::string& name,
                          std::uint32_t value) const {
    if (!validKey(key) || !validValueName(name)) {
        report("refusing the value \"" + name + "\" under \"" + key + "\"");
        return false;
    }
    return modify(path_, [&](IniFile& file) {
        return file.setValue(key, name, std::to_string(value)) ? Change::Made : Change::Refused;
    });
}

}  // namespace corvalis::platform
