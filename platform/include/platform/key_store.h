#pragma once
#include <cstdint>
#include <string>

#include "platform/export.h"

namespace corvalis::platform {

// The per-user key store that stands in for the registry's current-user hive. It is
// one INI file: one section per key path (the path text, backslashes and all, as the
// section name; names compare without regard to case) and DWORD values as decimal
// text.
//
// Every write is a read-modify-write of the whole file under an exclusive flock on
// "<store>.lock", finished by writing "<store>.tmp" and renaming it over the store.
// Readers take no lock: they see the file before or after a write, never half of
// one. So a crash mid-write leaves the old store, and writers in several processes
// take turns without losing each other's values.
//
// Failures return false with a message on standard error; a store file that cannot
// be read is never overwritten.
class CORVALIS_PLATFORM_API KeyStore {
  public:
    explicit KeyStore(std::string path);
    // The user's store: $CORVALIS_REGISTRY when set, else
    // $XDG_CONFIG_HOME/corvalis/registry.ini (XDG_CONFIG_HOME defaults to ~/.config).
    // Looked up anew on every call, so the environment may change in between.
    static KeyStore forUser();
    // The same path; empty when there is no home directory to put it in.
    static std::string userStorePath();

    const std::string& path() const { return path_; }

    bool keyExists(const std::string& key) const;
    // Creates the key as an empty section; true when it exists afterwards.
    bool createKey(const std::string& key) const;
    // False when the key or the value is missing or the value is not a decimal number
    // of 0..4294967295; `value` is then left as it was.
    bool readDword(const std::string& key, const std::string& name, std::uint32_t& value) const;
    // Creates the key when it is missing.
    bool writeDword(const std::string& key, const std::string& name, std::uint32_t value) const;

  private:
    std::string path_;
};

}  // namespace corvalis::platform
