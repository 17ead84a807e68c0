#include <QApplication>
#include <QCommandLineParser>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <cstdlib>

#include "control/camera_panel.h"
#include "shell/main_frame.h"

int main(int argc, char** argv) {
    // The simulated camera must be chosen before the first USB call of the process.
    for (int i = 1; i < argc; ++i) {
        if (qstrcmp(argv[i], "--simulator") == 0) setenv("CORVALIS_CAMERA", "simulator", 1);
    }

    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Astronomy RQ-9"));
    QCoreApplication::setApplicationName(QStringLiteral("Corvalis"));
    QCoreApplication::setApplicationVersion(QStringLiteral("2.7"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Capture program for the USB colour CCD camera"));
    parser.addHelpOption();
    parser.addOption({QStringLiteral("simulator"), QStringLiteral("Use the simulated camera.")});
    parser.addPositionalArgument(QStringLiteral("file"),
                                 QStringLiteral("A file to open as a document."));
    parser.process(app);

    CMainFrame frame;
    // Without a window manager (a headless X server) maximising does nothing: start
    // at the screen's full size anyway.
    if (QScreen* screen = QGuiApplication::primaryScreen())
        frame.setGeometry(screen->availableGeometry());
    frame.showMaximized();

    const QStringList files = parser.positionalArguments();
    if (!files.isEmpty()) frame.openDocument(files.first());
    // CORVALIS_AUTOSTART=1 presses "Start Camera" once the window is up (unattended
    // runs and screenshots).
    if (qEnvironmentVariableIntValue("CORVALIS_AUTOSTART") == 1) {
        QTimer::singleShot(500, &frame, [&frame] { frame.cameraPanel()->startButton()->click(); });
    }
    return app.exec();
}
