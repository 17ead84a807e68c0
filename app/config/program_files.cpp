#include "config/program_files.h"

#include <QDir>
#include <QStandardPaths>

#include "common/configuration_folder.h"

namespace {

std::string withSlash(std::string path) {
    if (path.empty() || path.back() != '/') path += '/';
    return path;
}

}  // namespace

std::string configDirectory() {
    return corvalis::configurationFolder();
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
