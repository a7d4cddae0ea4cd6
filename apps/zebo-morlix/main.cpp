// zebo-morlix: the window. Shows the valve-lift geometry frame by frame and
// steps on every key; Escape, a double click or closing the window ends it.

#include "script/Quote.h"
#include "window/qt/FormWindow.h"

#include <QGuiApplication>
#include <QIcon>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <unistd.h>

#ifndef ZM_VERSION
#define ZM_VERSION "0.0.0"
#endif

namespace {

const char* const helpText = R"(Usage: zebo-morlix [options]

Opens a window that animates the geometry of a valve-lift mechanism: two lift
profiles, a slider-crank travel curve and the second profile shifted by a
four-bar linkage at a control angle that steps with the keyboard.

Keys:
  Space         back to the first frame
  ,             one step back
  /             the same frame again, with frames piling up or cleared
  Enter, Tab    a tenth of a step forward, back
  Backspace     the same frame again, with the velocity and acceleration overlays
                on or off
  any other key one step forward (after the last frame it ends the program)
  Escape, a double click, or closing the window: quit

Options:
  -h, --help         show this help
  --version          show the version
  -display NAME      the X display to open the window on (default: $DISPLAY)
  -platform NAME     the Qt platform: xcb or wayland

Exit status: 0 when the program ends, 1 when no display can be opened or the
display goes away, 2 for an option it does not know.
)";

// The command line is read before Qt starts: --help and --version need no
// display, and a mistake is told as the renderer tells it (one line, status 2)
// rather than left for Qt to ignore. Returns the exit status, or -1 to go on.
int answerAtOnce(int argc, char** argv) {
    const auto is = [](const char* a, const char* one, const char* two) {
        return std::strcmp(a, one) == 0 || std::strcmp(a, two) == 0;
    };
    const char* text = nullptr;
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        if (is(a, "-h", "--help") || std::strcmp(a, "-help") == 0) {
            text = text != nullptr ? text : helpText;
        } else if (is(a, "--version", "-version")) {
            text = text != nullptr ? text : "zebo-morlix " ZM_VERSION "\n";
        } else if (is(a, "-display", "--display") || is(a, "-platform", "--platform")) {
            if (i + 1 == argc) {
                std::fprintf(stderr, "zebo-morlix: '%s' needs a value (see zebo-morlix --help)\n", a);
                return 2;
            }
            ++i; // the value, whatever it says: Qt reads it
        } else {
            const std::string shown =
                zm::script::quoted(a[0] == '-' ? std::string_view(a).substr(0, std::string_view(a).find('='))
                                               : std::string_view(a));
            std::fprintf(stderr, "zebo-morlix: %s %s (see zebo-morlix --help)\n",
                         a[0] == '-' && a[1] != '\0' ? "unknown option" : "unexpected argument",
                         shown.c_str());
            return 2;
        }
    }
    if (text == nullptr) {
        return -1;
    }
    if (std::fputs(text, stdout) < 0 || std::fflush(stdout) != 0) {
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
    if (const int status = answerAtOnce(argc, argv); status >= 0) {
        return status;
    }
    qInstallMessageHandler(onQtMessage);
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "-display") == 0 || std::strcmp(argv[i], "--display") == 0) {
            displayOption = argv[i + 1];
        }
    }
    QGuiApplication app(argc, argv);
    QGuiApplication::setQuitOnLastWindowClosed(false);
    QGuiApplication::setDesktopFileName(QStringLiteral("net.zebomorlix.ZeboMorlix"));
    QIcon icon;
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        icon.addFile(QStringLiteral(":/icons/%1.png").arg(size), QSize(size, size));
    }
    QGuiApplication::setWindowIcon(icon);

    zm::FormWindow window;
    if (window.showAndWaitForStart()) {
        windowShown = true;
        window.form().run();
        window.present();
    }
    return 0;
}
