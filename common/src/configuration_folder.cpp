#include "common/configuration_folder.h"

#include <cstdlib>

namespace corvalis {

namespace {

// The variable's value, or empty when it is unset.
std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

std::string withSlash(std::string path) {
    if (path.empty() || path.back() != '/') path += '/';
    return path;
}

}  // namespace

std::string configurationFolder() {
    const std::string own = environment("CORVALIS_CONFIG_DIR");
    if (!own.empty()) return withSlash(own);
    // The XDG base-directory rules ignore a relative XDG_CONFIG_HOME.
    const std::string xdg = environment("XDG_CONFIG_HOME");
    if (!xdg.empty() && xdg.front() == '/') return withSlash(xdg) + "corvalis/";
    return withSlash(environment("HOME")) + ".config/corvalis/";
}

}  // namespace corvalis
