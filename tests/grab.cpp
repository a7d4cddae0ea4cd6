// Test helper:
//   zm-grab shot WINDOW-ID OUT.png        the window's client area as it is on the screen
//   zm-grab diff A.png B.png W H [LEVEL]  how many pixels differ in the top-left W x H
//                                         (by more than LEVEL in some channel; default 0)
//   zm-grab near A.png B.png W H LEVEL   how many pixels of either have no pixel within one
//                                         pixel in the other that differs by at most LEVEL:
//                                         blind to antialiasing and half-pixel placement,
//                                         not to a missing or displaced curve
//   zm-grab partial IMAGE.png             per mille of the drawn (not white) pixels that are
//                                         a blend of a colour of the picture with the white
//                                         background: how soft its edges are
#include <QGuiApplication>
#include <QImage>
#include <QScreen>
#include <QWindow>

#include <cstdio>
#include <cstdlib>

namespace {

int channelDiff(QRgb a, QRgb b) {
    return std::max(
        {std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b))});
}

// The colours the program draws with, as RGB.
constexpr QRgb palette[] = {0x00FF00, 0xFF0000, 0xFF8000, 0xFF00FF, 0x0000FF, 0x8080FF,
                            0x008080, 0xC0C000, 0xFFC080, 0x808080, 0x070000};

// Pixels of x that have no close match within one pixel in y.
long unmatched(const QImage& x, const QImage& y, int w, int h, int level) {
    long n = 0;
    for (int j = 0; j < h; ++j) {
        for (int i = 0; i < w; ++i) {
            bool found = false;
            for (int dj = -1; dj <= 1 && !found; ++dj) {
                for (int di = -1; di <= 1 && !found; ++di) {
                    const int u = i + di, v = j + dj;
                    found = u >= 0 && v >= 0 && u < w && v < h &&
                            channelDiff(x.pixel(i, j), y.pixel(u, v)) <= level;
                }
            }
            n += !found;
        }
    }
    return n;
}

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const QStringList a = QGuiApplication::arguments();
    if (a.size() == 4 && a[1] == "shot") {
        const QPixmap p = QGuiApplication::primaryScreen()->grabWindow(a[2].toULongLong(nullptr, 0));
        return p.isNull() || !p.save(a[3], "PNG") ? 1 : 0;
    }
    if ((a.size() == 6 || a.size() == 7) && a[1] == "diff") {
        const QImage x = QImage(a[2]).convertToFormat(QImage::Format_RGB32);
        const QImage y = QImage(a[3]).convertToFormat(QImage::Format_RGB32);
        const int w = a[4].toInt(), h = a[5].toInt();
        const int level = a.size() == 7 ? a[6].toInt() : 0;
        if (x.width() < w || x.height() < h || y.width() < w || y.height() < h) {
            std::printf("too small\n");
            return 1;
        }
        long n = 0;
        for (int j = 0; j < h; ++j) {
            for (int i = 0; i < w; ++i) {
                n += channelDiff(x.pixel(i, j), y.pixel(i, j)) > level;
            }
        }
        std::printf("%ld\n", n);
        return 0;
    }
    if (a.size() == 7 && a[1] == "near") {
        const QImage x = QImage(a[2]).convertToFormat(QImage::Format_RGB32);
        const QImage y = QImage(a[3]).convertToFormat(QImage::Format_RGB32);
        const int w = a[4].toInt(), h = a[5].toInt(), level = a[6].toInt();
        if (x.width() < w || x.height() < h || y.width() < w || y.height() < h) {
            std::printf("too small\n");
            return 1;
        }
        std::printf("%ld\n", unmatched(x, y, w, h, level) + unmatched(y, x, w, h, level));
        return 0;
    }
    if (a.size() == 3 && a[1] == "partial") {
        const QImage x = QImage(a[2]).convertToFormat(QImage::Format_RGB32);
        long drawn = 0, partial = 0;
        for (int j = 0; j < x.height(); ++j) {
            for (int i = 0; i < x.width(); ++i) {
                const QRgb p = x.pixel(i, j);
                if (channelDiff(p, 0xFFFFFF) <= 8) {
                    continue;
                }
                ++drawn;
                bool solid = false;
                for (const QRgb c : palette) {
                    solid = solid || channelDiff(p, c) <= 8;
                }
                partial += !solid;
            }
        }
        std::printf("%ld\n", drawn == 0 ? 0 : partial * 1000 / drawn);
        return 0;
    }
    std::fprintf(stderr, "usage: zm-grab shot WINDOW-ID OUT.png | diff A.png B.png W H [LEVEL] | near A.png "
                         "B.png W H LEVEL | partial IMAGE.png\n");
    return 2;
}
