#pragma once
#include <filesystem>
#include <string>

// A fresh directory /tmp/corvalis-<name>-XXXXXX for one test, removed with all it holds
// when this goes. Throws when the directory cannot be made (the test then fails).
class ScratchDirectory {
  public:
    explicit ScratchDirectory(const std::string& name);
    ~ScratchDirectory();
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};
