// zebo-morlix: the window. Shows the valve-lift geometry frame by frame and
// steps on every key; Escape, a double click or closing the window ends it.

#include "window/qt/FormWindow.h"

#include <QGuiApplication>
#include <QIcon>

#include <cstdio>
#include <unistd.h>

namespace {

bool windowShown = false;

// Qt's own messages: a platform that cannot start, or a display connection that
// breaks, becomes one clear line and status 1 instead of an abort with a core.
void onQtMessage(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtFatalMsg || message.contains(QLatin1String("connection broke"))) {
        const QByteArray display = qgetenv("DISPLAY");
        if (windowShown) {
            std::fprintf(stderr, "zebo-morlix: lost the connection to the display\n");
        } else if (display.isEmpty() && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
            std::fprintf(stderr, "zebo-morlix: no display to open the window on (DISPLAY is not set)\n");
        } else {
            std::fprintf(stderr, "zebo-morlix: cannot open the window on display '%s'\n",
                         display.constData());
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
    qInstallMessageHandler(onQtMessage);
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
