#include "common/ini_file.h"

#include "common/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace corvalis {

namespace {

constexpr std::string_view kBlanks = " \t\r\v\f";

std::string_view trim(std::string_view text) {
    const auto first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(kBlanks);
    return text.substr(first, last - first + 1);
}

char lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool sameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return lower(x) == lower(y); });
}

bool hasLineBreak(std::string_view text) {
    return text.find_first_of("\r\n") != std::string_view::npos;
}

bool validSectionName(std::string_view section) {
    return !trim(section).empty() && section.find(']') == std::string_view::npos &&
           !hasLineBreak(section);
}

bool validKey(std::string_view key) {
    const std::string_view trimmed = trim(key);
    return !trimmed.empty() && trimmed.front() != '[' && trimmed.front() != ';' &&
           key.find('=') == std::string_view::npos && !hasLineBreak(key);
}

std::string systemError(const char* what, const std::string& path) {
    return std::string(what) + " " + path + ": " + std::strerror(errno);
}

}  // namespace

IniFile::Line IniFile::parseLine(std::string_view text) {
    Line line;
    line.text = std::string(text);
    const std::string_view trimmed = trim(text);
    if (trimmed.empty() || trimmed.front() == ';') return line;
    if (trimmed.front() == '[') {
        const auto close = trimmed.find(']');
        if (close == std::string_view::npos) return line;  // unclosed: kept, not a section
        line.kind = Line::Kind::Section;
        line.name = std::string(trim(trimmed.substr(1, close - 1)));
        return line;
    }
    const auto equals = trimmed.find('=');
    if (equals == std::string_view::npos) return line;
    const std::string_view key = trim(trimmed.substr(0, equals));
    if (key.empty()) return line;
    std::string_view value = trim(trimmed.substr(equals + 1));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    line.kind = Line::Kind::Entry;
    line.name = std::string(key);
    line.value = std::string(value);
    return line;
}

IniFile IniFile::parse(std::string_view text) {
    IniFile file;
    const auto firstBreak = text.find('\n');
    if (firstBreak != std::string_view::npos && firstBreak > 0 && text[firstBreak - 1] == '\r')
        file.lineBreak_ = "\r\n";
    std::size_t start = 0;
    while (start < text.size()) {
        auto end = text.find('\n', start);
        const bool last = end == std::string_view::npos;
        if (last) end = text.size();
        std::string_view lineText = text.substr(start, end - start);
        // Each line keeps its own break, so a rewrite changes no line it does not edit.
        std::string ending = last ? "" : "\n";
        if (!last && !lineText.empty() && lineText.back() == '\r') {
            lineText.remove_suffix(1);
            ending = "\r\n";
        }
        file.lines_.push_back(parseLine(lineText));
        file.lines_.back().ending = std::move(ending);
        if (last) file.endsWithNewline_ = false;
        start = end + 1;
    }
    return file;
}

bool IniFile::load(const std::string& path, std::string& error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) {
            *this = IniFile();
            return true;
        }
        error = systemError("cannot open", path);
        return false;
    }
    std::string data;
    char chunk[65536];
    bool ok = true;
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0) {
            if (errno == EINTR) continue;
            error = systemError("cannot read", path);
            ok = false;
            break;
        }
        if (n == 0) break;
        if (data.size() + static_cast<std::size_t>(n) > kMaxFileBytes) {
            error = "refusing to read " + path + ": larger than " + std::to_string(kMaxFileBytes) +
                    " bytes";
            ok = false;
            break;
        }
        data.append(chunk, static_cast<std::size_t>(n));
    }
    ::close(fd);
    if (!ok) return false;
    *this = parse(data);
    return true;
}

bool IniFile::save(const std::string& path, std::string& error) const {
    const std::string data = text();
    return replaceFile(
        path,
        [&](std::FILE* file) {
            return std::fwrite(data.data(), 1, data.size(), file) == data.size();
        },
        error);
}

std::string IniFile::text() const {
    std::string out;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        out += lines_[i].text;
        if (i + 1 < lines_.size() || endsWithNewline_)
            out += lines_[i].ending.empty() ? lineBreak_ : lines_[i].ending;
    }
    return out;
}

std::size_t IniFile::findSection(std::string_view section) const {
    const std::string_view wanted = trim(section);
    for (std::size_t i = 0; i < lines_.size(); ++i)
        if (lines_[i].kind == Line::Kind::Section && sameName(lines_[i].name, wanted)) return i;
    return lines_.size();
}

std::size_t IniFile::sectionEnd(std::size_t header) const {
    std::size_t i = header + 1;
    while (i < lines_.size() && lines_[i].kind != Line::Kind::Section) ++i;
    return i;
}

bool IniFile::hasSection(std::string_view section) const {
    return findSection(section) < lines_.size();
}

std::optional<std::string> IniFile::value(std::string_view section, std::string_view key) const {
    const std::size_t header = findSection(section);
    if (header == lines_.size()) return std::nullopt;
    const std::string_view wanted = trim(key);
    const std::size_t end = sectionEnd(header);
    for (std::size_t i = header + 1; i < end; ++i)
        if (lines_[i].kind == Line::Kind::Entry && sameName(lines_[i].name, wanted))
            return lines_[i].value;
    return std::nullopt;
}

std::string IniFile::readString(std::string_view section, std::string_view key,
                                std::string_view fallback, std::size_t bufferSize) const {
    std::string result = value(section, key).value_or(std::string(fallback));
    if (bufferSize == 0) return {};
    if (result.size() > bufferSize - 1) result.resize(bufferSize - 1);
    return result;
}

bool IniFile::addSection(std::string_view section) {
    if (!validSectionName(section)) return false;
    if (hasSection(section)) return true;
    lines_.push_back(parseLine("[" + std::string(trim(section)) + "]"));
    endsWithNewline_ = true;
    return true;
}

bool IniFile::setValue(std::string_view section, std::string_view key, std::string_view value) {
    if (!validSectionName(section) || !validKey(key) || hasLineBreak(value)) return false;
    const std::string wanted(trim(key));
    std::size_t header = findSection(section);
    if (header == lines_.size()) {
        addSection(section);
        header = lines_.size() - 1;
    }
    const std::size_t end = sectionEnd(header);
    std::size_t insertAt = header + 1;  // after the section's last entry
    for (std::size_t i = header + 1; i < end; ++i) {
        if (lines_[i].kind != Line::Kind::Entry) continue;
        if (sameName(lines_[i].name, wanted)) {
            Line edited = parseLine(lines_[i].name + "=" + std::string(value));
            edited.ending = std::move(lines_[i].ending);
            lines_[i] = std::move(edited);
            return true;
        }
        insertAt = i + 1;
    }
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insertAt),
                  parseLine(wanted + "=" + std::string(value)));
    endsWithNewline_ = true;
    return true;
}

}  // namespace corvalis
