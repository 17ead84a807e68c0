#include "scratch_directory.h"

#include <unistd.h>

#include <cerrno>
#include <system_error>

ScratchDirectory::ScratchDirectory(const std::string& name) {
    std::string pattern = "/tmp/corvalis-" + name + "-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr)
        throw std::system_error(errno, std::generic_category(), "mkdtemp " + pattern);
    path_ = pattern;
}

ScratchDirectory::~ScratchDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}
