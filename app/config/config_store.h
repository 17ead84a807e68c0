#pragma once
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "vantelo.h"

namespace pugi {
class xml_document;
class xml_node;
}  // namespace pugi

// Named sets of camera and capture settings ("configurations") kept in Config.xml:
//
//   <Velmar>
//     <Attribute Name="new configuration">
//       <Resolution>0</Resolution> <AutoExposure>0</AutoExposure> ... 27 fields
//     </Attribute>
//     ...
//   </Velmar>
//
// Fields are read by position, not by name, and flags are set only by the exact text
// "1", so that files written by the older program read the same here and back.
//
// Every operation reads the file afresh and, when it changes something, writes the
// whole document back through a temporary file and a rename, so a crash never leaves a
// truncated file. A file that cannot be used (does not parse, is too large, has no
// "Velmar" root, holds no configuration or one without a name) is renamed aside, the
// user is told
// once through the notice callback, and a default file takes its place. When the
// folder cannot be written, the store keeps its configurations in memory for the rest
// of the run and says so once.
//
// Operations return kDone or kRefused; a refused operation changes neither the file
// nor the record. Used from the user-interface thread only.
class ConfigStore {
  public:
    static constexpr int kDone = 1;
    static constexpr int kRefused = 0;
    static constexpr int kFieldCount = 27;
    static constexpr const char* kNewConfigurationName = "new configuration";
    // Larger files are set aside unread: a real file holds a few kilobytes.
    static constexpr std::size_t kMaxFileBytes = 4 * 1024 * 1024;

    // Receives a text the user should see once (a message box in the program).
    using NoticeSink = std::function<void(const std::string& text)>;

    ConfigStore();
    ~ConfigStore();
    ConfigStore(const ConfigStore&) = delete;
    ConfigStore& operator=(const ConfigStore&) = delete;

    void SetNoticeSink(NoticeSink sink) { notice_ = std::move(sink); }
    void SetFileName(const std::string& path) { path_ = path; }
    const std::string& FileName() const { return path_; }
    // The camera family whose Gain and Contrast defaults a new file gets (KD_FAMILY_*).
    void SetCameraType(int cameraType) { cameraType_ = cameraType; }

    // Writes a file holding one default configuration, replacing what was there.
    int CreateDefault();
    // The configurations' names in file order. A missing file is first created with
    // CreateDefault, so the list is never empty.
    std::vector<std::string> FillList();
    // Copies configuration `index` into the record (nothing is sent to the camera).
    // Values are clamped to what the record and the camera take; a field the
    // configuration lacks leaves the record's value; "AutoExposure" is never read; an
    // empty crop (such as the default 0, 0, 0, 0) means the whole frame.
    int Apply(CameraRecord& record, int index);
    // Appends a configuration named "new configuration" holding the record's values.
    int Add(const CameraRecord& record);
    // Renames configuration `index` and overwrites its values (not "AutoExposure").
    int Modify(const std::string& name, const CameraRecord& record, int index);
    // Removes configuration `index`; the last one left cannot be removed.
    int Delete(int index);

    // True once the folder could not be written and the configurations live in memory.
    bool InMemory() const { return inMemory_; }
    // Where the last unusable file was put aside; empty when none was.
    const std::string& SetAsidePath() const { return setAsidePath_; }

  private:
    // The document to work on: the file's, or the in-memory one. Sets a default in
    // place of a missing or unusable file. Null only if even that fails.
    pugi::xml_document* open(pugi::xml_document& scratch);
    // Writes the document, or keeps it in memory when the folder cannot be written.
    bool save(const pugi::xml_document& document);
    void buildDefault(pugi::xml_document& document) const;
    void setAside(const std::string& reason);
    void tell(const std::string& text);

    std::string path_;
    int cameraType_ = KD_FAMILY_NONE;
    NoticeSink notice_;
    std::unique_ptr<pugi::xml_document> memory_;  // set once the folder is not writable
    bool inMemory_ = false;
    std::string setAsidePath_;
};
