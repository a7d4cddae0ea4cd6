// zebo-morlix: the window. Shows the valve-lift geometry frame by frame and
// steps on every key; Escape, a double click or closing the window ends it.

#include "window/qt/FormWindow.h"

#include <QGuiApplication>

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    QGuiApplication::setQuitOnLastWindowClosed(false);

    zm::FormWindow window;
    if (window.showAndWaitForStart()) {
        window.form().run();
        window.present();
    }
    return 0;
}
