#include "registry_key.h"

#include "platform/key_store.h"

using corvalis::platform::KeyStore;

namespace ostra {

bool RegistryKey::open(const std::string& path) {
    close();
    KeyStore store = KeyStore::forUser();
    if (!store.keyExists(path)) return false;
    storePath_ = store.path();
    path_ = path;
    open_ = true;
    return true;
}

bool RegistryKey::create(const std::string& path) {
    close();
    KeyStore store = KeyStore::forUser();
    if (!store.createKey(path)) return false;
    storePath_ = store.path();
    path_ = path;
    open_ = true;
    return true;
}

bool RegistryKey::readDword(const std::string& name, std::uint32_t& value) const {
    return open_ && KeyStore(storePath_).readDword(path_, name, value);
}

bool RegistryKey::writeDword(const std::string& name, std::uint32_t value) const {
    return open_ && KeyStore(storePath_).writeDword(path_, name, value);
}

void RegistryKey::close() {
    open_ = false;
    storePath_.clear();
    path_.clear();
}

}  // namespace ostra
