#pragma once
#include <cstdint>
#include <string>

namespace ostra {

// One open key of the user's key store, as the driver keeps it for its parameter
// teams. The key store is looked up when the key is opened or created.
class RegistryKey {
  public:
    // Opens an existing key; false (and closed) when it does not exist.
    bool open(const std::string& path);
    // Opens the key, creating it when it does not exist.
    bool create(const std::string& path);
    // False when no key is open or the value is missing or unreadable; `value` is
    // then left as it was.
    bool readDword(const std::string& name, std::uint32_t& value) const;
    bool writeDword(const std::string& name, std::uint32_t value) const;
    void close();
    bool isOpen() const { return open_; }

  private:
    std::string storePath_;
    std::string path_;
    bool open_ = false;
};

}  // namespace ostra
