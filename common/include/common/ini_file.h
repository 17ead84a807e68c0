#pragma once
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvalis {

// An INI (profile) file held in memory, read and written the way the Windows profile
// functions do it:
// - "[section]" lines open sections, "key=value" lines hold values, lines starting
//   with ';' are comments;
// - section and key names compare without regard to ASCII case; the first matching
//   section and the first matching key in it win;
// - names and values are read with surrounding blanks removed, and a value wrapped in
//   matching single or double quotes is read without them;
// - a write replaces the value in place or appends the key at the end of its section
//   (appending the section when there is none), and leaves every other line as it was;
//   a value is read back as a reload would read it (blanks and quotes removed).
// Lines that are none of the above (no '=', an unclosed '[', keys before the first
// section) are skipped by lookups and written back unchanged, so a damaged file loses
// nothing when it is rewritten.
class IniFile {
  public:
    // What the profile functions read into when the caller gives no size.
    static constexpr std::size_t kProfileBufferSize = 260;
    // Larger files are refused rather than read into memory.
    static constexpr std::size_t kMaxFileBytes = 16 * 1024 * 1024;

    IniFile() = default;
    static IniFile parse(std::string_view text);

    // Reads `path`. A missing file reads as an empty one (true); a file that exists but
    // cannot be read, or is larger than kMaxFileBytes, gives false with a message in
    // `error` and leaves this object as it was.
    bool load(const std::string& path, std::string& error);
    // Writes the text through replaceFile (a temporary file beside `path`, flushed and
    // renamed over it), so a crash or a failure leaves either the old or the new file.
    // A read-only file is refused. Concurrent writers of the same path must take turns.
    // False with a message in `error` on failure.
    bool save(const std::string& path, std::string& error) const;

    std::string text() const;

    bool hasSection(std::string_view section) const;
    std::optional<std::string> value(std::string_view section, std::string_view key) const;
    // As the profile string read: the value, or `fallback` when the section or the key
    // is missing, cut to bufferSize - 1 characters (nothing for a size of 0).
    std::string readString(std::string_view section, std::string_view key,
                           std::string_view fallback,
                           std::size_t bufferSize = kProfileBufferSize) const;

    // Adds an empty section unless one of that name exists. False (nothing changed)
    // for a name the file could not hold: empty, or with ']' or a line break.
    bool addSection(std::string_view section);
    // Sets one value, adding the key and the section as needed. False (nothing
    // changed) for a section name as above, a key that is empty, starts with '[' or
    // ';', or holds '=' or a line break, or a value with a line break.
    bool setValue(std::string_view section, std::string_view key, std::string_view value);

  private:
    struct Line {
        enum class Kind { Other, Section, Entry };
        Kind kind = Kind::Other;
        std::string text;    // the line as written, without its line break
        std::string name;    // section name or key, trimmed
        std::string value;   // the entry's value, trimmed, quotes removed
        std::string ending;  // its line break as read ("\n" or "\r\n"); empty for new lines
    };

    static Line parseLine(std::string_view text);
    // Index of the first section line named `section`, or lines_.size().
    std::size_t findSection(std::string_view section) const;
    // Index just past the last line of the section starting at `header`.
    std::size_t sectionEnd(std::size_t header) const;

    std::vector<Line> lines_;
    std::string lineBreak_ = "\n";  // for new lines: "\r\n" when the file's first line has it
    bool endsWithNewline_ = true;
};

}  // namespace corvalis
