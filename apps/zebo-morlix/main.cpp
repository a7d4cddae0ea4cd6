// zebo-morlix: the window. Shows the valve-lift geometry frame by frame and
// steps on every key; Escape, a double click or closing the window ends it.

#include "cli/MechanismOptions.h"
#include "cli/Options.h"
#include "window/qt/FormWindow.h"

#include <QGuiApplication>
#include <QIcon>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// The command line is read before Qt starts, by the parser the renderer uses:
// --help and --version need no display, a mistake is told as the renderer tells
// it (one line, status 2) rather than left for Qt to ignore, and a mechanism
// that cannot be used is refused before a window opens. Returns the exit
// status, or -1 to go on with the options and the prepared mechanism.
int answerAtOnce(int argc, char** argv, zm::cli::Options& o, zm::Mechanism& mechanism) {
    using zm::cli::Program;
    try {
        o = zm::cli::parseArguments(Program::window,
                                    std::vector<std::string>(argv + std::min(argc, 1), argv + argc));
        if (o.action == zm::cli::Options::Action::run) {
            mechanism = zm::cli::mechanismOf(o);
            return -1;
        }
    } catch (const zm::cli::UsageError& e) {
        std::fprintf(stderr, "zebo-morlix: %s\n", e.what());
        return 2;
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "zebo-morlix: not enough memory for this mechanism: use a shorter profile\n");
        return 2;
    }
    const std::string text = o.action == zm::cli::Options::Action::help
                                 ? zm::cli::helpText(Program::window)
                                 : zm::cli::versionText(Program::window);
    if (std::fputs(text.c_str(), stdout) < 0 || std::fflush(stdout) != 0) {
        std::fprintf(stderr, "zebo-morlix: cannot write to standard output: %s\n", std::strerror(errno));
        return 1;
    }
    return 0;
}

bool windowShown = false;
QByteArray displayOption; // the display named on the command line (-display NAME)
QString missingPlatform;  // a platform plugin Qt looked for and did not find
QString availablePlatforms;

// Why the window could not be opened, in one line that says what to do.
void reportStartFailure(const QString& fatal) {
    if (!missingPlatform.isEmpty()) {
        const int at = fatal.indexOf(QLatin1String("Available platform plugins are: "));
        if (at >= 0) {
            availablePlatforms = fatal.mid(at + 32).section(QLatin1Char('.'), 0, 0).trimmed();
        }
        if (missingPlatform.startsWith(QLatin1String("wayland"))) {
            std::fprintf(stderr,
                         "zebo-morlix: the Qt platform plugin '%s' is not installed: install it with "
                         "'apt-get install qt6-wayland', or run on X with QT_QPA_PLATFORM=xcb\n",
                         qPrintable(missingPlatform));
        } else {
            std::fprintf(stderr,
                         "zebo-morlix: unknown Qt platform plugin '%s' (from QT_QPA_PLATFORM or -platform): "
                         "use xcb or wayland; installed: %s\n",
                         qPrintable(missingPlatform),
                         availablePlatforms.isEmpty() ? "xcb or wayland" : qPrintable(availablePlatforms));
        }
        return;
    }
    const QByteArray display = displayOption.isEmpty() ? qgetenv("DISPLAY") : displayOption;
    if (display.isEmpty() && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        std::fprintf(stderr, "zebo-morlix: no display to open the window on (DISPLAY is not set)\n");
    } else {
        std::fprintf(stderr, "zebo-morlix: cannot open the window on display '%s'\n", display.constData());
    }
}

// Qt's own messages: a platform that cannot start, or a display connection that
// breaks, becomes one clear line and status 1 instead of an abort with a core.
void onQtMessage(QtMsgType type, const QMessageLogContext&, const QString& message) {
    static const QLatin1String notFound("Could not find the Qt platform plugin \"");
    if (const int at = message.indexOf(notFound); at >= 0) {
        missingPlatform = message.mid(at + notFound.size()).section(QLatin1Char('"'), 0, 0);
    }
    if (type == QtFatalMsg || message.contains(QLatin1String("connection broke"))) {
        if (windowShown) {
            std::fprintf(stderr, "zebo-morlix: lost the connection to the display\n");
        } else {
            reportStartFailure(message);
        }
        std::fflush(stderr);
        _exit(1);
    }
    // Start-up chatter of the platform layer says nothing to the user.
    if (windowShown && (type == QtWarningMsg || type == QtCriticalMsg)) {
        std::fprintf(stderr, "zebo-morlix: %s\n", qPrintable(message));
    }
}

} // namespace

int main(int argc, char** argv) {
    zm::cli::Options o;
    zm::Mechanism mechanism;
    if (const int status = answerAtOnce(argc, argv, o, mechanism); status >= 0) {
        return status;
    }
    qInstallMessageHandler(onQtMessage);
    // Qt is given its own options only, as they came: the rest are read.
    std::vector<char*> qtArgv{argv[0]};
    for (std::size_t i = 0; i < o.qtArguments.size(); ++i) {
        qtArgv.push_back(o.qtArguments[i].data());
        if (o.qtArguments[i] == "-display" && i + 1 < o.qtArguments.size()) {
            displayOption = QByteArray::fromStdString(o.qtArguments[i + 1]);
        }
    }
    qtArgv.push_back(nullptr);
    int qtArgc = static_cast<int>(qtArgv.size()) - 1;
    QGuiApplication app(qtArgc, qtArgv.data());
    QGuiApplication::setQuitOnLastWindowClosed(false);
    QGuiApplication::setDesktopFileName(QStringLiteral("net.zebomorlix.ZeboMorlix"));
    QIcon icon;
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        icon.addFile(QStringLiteral(":/icons/%1.png").arg(size), QSize(size, size));
    }
    QGuiApplication::setWindowIcon(icon);

    zm::FormWindow window(mechanism);
    if (window.showAndWaitForStart()) {
        windowShown = true;
        window.form().run();
        window.present();
    }
    return 0;
}
