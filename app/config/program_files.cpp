#include "config/program_files.h"

#include <QDir>
#include <QStandardPaths>
#include <cstdlib>

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

std::string configDirectory() {
    const std::string own = environment("CORVALIS_CONFIG_DIR");
    if (!own.empty()) return withSlash(own);
    const std::string xdg = environment("XDG_CONFIG_HOME");
    if (!xdg.empty() && xdg.front() == '/') return withSlash(xdg) + "corvalis/";
    return withSlash(environment("HOME")) + ".config/corvalis/";
}

std::string programFilePath(ProgramFile file) {
    const char* name = "";
    switch (file) {
        case ProgramFile::Config:
            name = "Config.xml";
            break;
        case ProgramFile::SelectPath:
            name = "SelectPath.ini";
            break;
        case ProgramFile::ChoseAndSaveCom:
            name = "ChoseAndSaveCom.ini";
            break;
        case ProgramFile::Capture:
            name = "Capture.ini";
            break;
        case ProgramFile::AddLogo:
            name = "addlogo.jpg";
            break;
    }
    return configDirectory() + name;
}

std::string initialSaveDirectory() {
    QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    // Without any folder known (no home), the working folder is all there is.
    if (pictures.isEmpty()) pictures = QDir::currentPath();
    return withSlash(QDir::cleanPath(pictures).toLocal8Bit().toStdString()) + "Corvalis/";
}
