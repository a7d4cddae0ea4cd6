// Test helper on a real X server:
//   zm-grab shot WINDOW-ID OUT.png      the window's client area as it is on the screen
//   zm-grab diff A.png B.png W H        how many pixels differ in the top-left W x H
#include <QGuiApplication>
#include <QImage>
#include <QScreen>
#include <QWindow>

#include <cstdio>

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const QStringList a = QGuiApplication::arguments();
    if (a.size() == 4 && a[1] == "shot") {
        const QPixmap p = QGuiApplication::primaryScreen()->grabWindow(a[2].toULongLong(nullptr, 0));
        return p.isNull() || !p.save(a[3], "PNG") ? 1 : 0;
    }
    if (a.size() == 6 && a[1] == "diff") {
        const QImage x = QImage(a[2]).convertToFormat(QImage::Format_RGB32);
        const QImage y = QImage(a[3]).convertToFormat(QImage::Format_RGB32);
        const int w = a[4].toInt(), h = a[5].toInt();
        if (x.width() < w || x.height() < h || y.width() < w || y.height() < h) {
            std::printf("too small\n");
            return 1;
        }
        long n = 0;
        for (int j = 0; j < h; ++j) {
            for (int i = 0; i < w; ++i) {
                n += x.pixel(i, j) != y.pixel(i, j);
            }
        }
        std::printf("%ld\n", n);
        return 0;
    }
    std::fprintf(stderr, "usage: zm-grab shot WINDOW-ID OUT.png | diff A.png B.png W H\n");
    return 2;
}
