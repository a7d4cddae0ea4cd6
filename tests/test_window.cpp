// The window on Qt's offscreen platform, driven through the platform's own event
// path, and the pictures the canvas draws.

#include "profiles/ProfileTables.h"
#include "script/ScriptHost.h"
#include "window/Plane.h"
#include "window/UserScale.h"
#include "window/qt/FormWindow.h"
#include "window/qt/ImageSurface.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <unistd.h>

namespace zm::test {
namespace {

// Runs the window's program; each action runs when the program next blocks
// waiting for a key, and records k there first.
struct Drive {
    FormWindow w;
    std::vector<double> kAtWait;
    std::vector<std::function<void(FormWindow&)>> actions;
    bool started = false;

    void run() {
        std::size_t next = 0;
        QTimer t;
        t.setInterval(2);
        QObject::connect(&t, &QTimer::timeout, [&] {
            if (!w.waiting() || next >= actions.size()) {
                return;
            }
            kAtWait.push_back(w.form().k);
            actions[next++](w);
        });
        t.start();
        started = w.showAndWaitForStart();
        if (started) {
            w.form().run();
        }
    }
};

auto key(Qt::Key k, Qt::KeyboardModifiers m = Qt::NoModifier) {
    return [k, m](FormWindow& w) { QTest::keyClick(&w, k, m); };
}
auto ch(char c) {
    return [c](FormWindow& w) { QTest::keyClick(&w, c); };
}

int countNonWhite(const QImage& img) {
    int n = 0;
    for (int y = 0; y < img.height(); ++y) {
        for (int x = 0; x < img.width(); ++x) {
            n += img.pixel(x, y) != 0xFFFFFFFFu;
        }
    }
    return n;
}

TEST(Window, StoredDesign) {
    FormWindow w;
    // The caption as the design has it, spaces and all: 156 characters.
    EXPECT_EQ(
        w.title(),
        QStringLiteral("    Zebo / Morlix        GEOMETRY EXPLAIN          USE: SpaceBar , /  Enter Tab    "
                       "USE: BackSpace for Velocity / Acceleration     DoubleClick or ESC to Quit"));
    EXPECT_EQ(w.title().size(), 156);
    EXPECT_EQ(w.size(), QSize(962, 688));
    EXPECT_EQ(w.canvas().image().pixel(10, 10), 0xFFFFFFFFu);
}

TEST(Window, KeysArriveAsCharacterCodes) {
    Drive d;
    // Control+H as a platform delivers it: the key H with the text of code 8.
    auto ctrlH = [](FormWindow& w) {
        QTest::sendKeyEvent(QTest::Click, &w, Qt::Key_H, QString(QChar(8)), Qt::ControlModifier);
    };
    d.actions = {key(Qt::Key_Tab),
                 ctrlH,
                 ch('x'),
                 ch(','),
                 key(Qt::Key_Return),
                 key(Qt::Key_Backspace),
                 ch('/'),
                 ch(' '),
                 key(Qt::Key_Escape)};
    d.run();
    ASSERT_TRUE(d.started);
    EXPECT_TRUE(d.w.form().ended());
    const double tab = (4.5 - 1.1 * 0.25) + 0.25;
    const double enter = ((tab - 0.9 * 0.25) + 0.25);
    EXPECT_EQ(d.kAtWait, (std::vector<double>{4.5, tab, tab, tab + 0.25, tab, enter, enter, enter, 4.5}));
    EXPECT_EQ(d.w.form().acc, 0);    // Control+H and Backspace
    EXPECT_EQ(d.w.form().ccllss, 1); // slash
    // Escape cleared the window before the end.
    EXPECT_EQ(countNonWhite(d.w.canvas().image()), 0);
}

TEST(Window, ACharacterBeyondSixteenBitsIsOneKey) {
    // An emoji arrives as two UTF-16 units in one key event; it is one plain step,
    // not two presses that cancel.
    Drive d;
    auto emoji = [](FormWindow& w) {
        QTest::sendKeyEvent(QTest::Click, &w, Qt::Key_unknown, QString::fromUtf8("\xf0\x9f\x98\x80"),
                            Qt::NoModifier);
    };
    d.actions = {emoji, emoji, key(Qt::Key_Escape)};
    d.run();
    EXPECT_EQ(d.kAtWait, (std::vector<double>{4.5, 4.75, 5.0}));
}

TEST(Window, DoubleClickEndsAndKeepsThePicture) {
    Drive d;
    d.actions = {ch('x'),
                 [](FormWindow& w) { QTest::mouseDClick(&w, Qt::LeftButton, {}, QPoint(300, 300)); }};
    d.run();
    EXPECT_TRUE(d.w.form().ended());
    EXPECT_EQ(d.kAtWait.size(), 2u);
    EXPECT_GT(countNonWhite(d.w.canvas().image()), 1000);
}

TEST(Window, ClosingEndsTheProgram) {
    Drive d;
    d.actions = {[](FormWindow& w) { w.close(); }};
    d.run();
    EXPECT_TRUE(d.w.form().ended());
}

TEST(Window, KeepsThePictureWhenResized) {
    Drive d;
    QImage before, after;
    d.actions = {[&](FormWindow& w) {
        before = w.canvas().picture(QSize(962, 688));
        w.resize(400, 300);
        QCoreApplication::processEvents();
        w.resize(1400, 900);
        QCoreApplication::processEvents();
        after = w.canvas().picture(QSize(962, 688));
        QTest::keyClick(&w, Qt::Key_Escape);
    }};
    d.run();
    ASSERT_FALSE(before.isNull());
    EXPECT_GT(countNonWhite(before), 1000);
    EXPECT_EQ(before, after);
    // The larger window shows more of the plane, white where nothing was drawn,
    // as far as the desktop reaches.
    QSize desktop(962, 688);
    for (const QScreen* s : QGuiApplication::screens()) {
        desktop = desktop.expandedTo(s->virtualSize());
    }
    EXPECT_EQ(d.w.canvas().logicalSize(), QSize(1400, 900).boundedTo(desktop));
}

TEST(Window, AHugeWindowKeepsTheCanvasBounded) {
    Drive d;
    d.actions = {[](FormWindow& w) {
                     w.resize(32767, 32767);
                     QCoreApplication::processEvents();
                     QTest::keyClick(&w, Qt::Key_X);
                 },
                 key(Qt::Key_Escape)};
    d.run();
    EXPECT_EQ(d.kAtWait, (std::vector<double>{4.5, 4.75}));
    const QSize canvas = d.w.canvas().image().size();
    EXPECT_EQ(canvas, d.w.drawnSize() * d.w.devicePixelRatio());
    EXPECT_LE(qint64(canvas.width()) * canvas.height(), qint64(16384) * 16384);
}

// Pictures: the canvas at a few places whose colour the geometry fixes.

QImage render(const std::string& script, QSize size = QSize(962, 688), qreal scale = 1) {
    ImageSurface canvas(size, scale);
    script::ScriptHost host(script::parseScript(script));
    Form1 form(canvas, host);
    host.attach(form);
    host.play();
    return canvas.picture(size);
}

// True if a pixel within r logical pixels of the plane point (x, y) is close to colour c.
bool near(const QImage& img, double x, double y, Colour c, int r = 2, qreal scale = 1,
          const UserScale& plane = UserScale{}) {
    const int cx = static_cast<int>(std::lround(plane.pixelX(x) * scale));
    const int cy = static_cast<int>(std::lround(plane.pixelY(y) * scale));
    const int R = static_cast<int>(r * scale);
    const int red = c & 0xFF, green = (c >> 8) & 0xFF, blue = (c >> 16) & 0xFF;
    for (int dy = -R; dy <= R; ++dy) {
        for (int dx = -R; dx <= R; ++dx) {
            if (!img.valid(cx + dx, cy + dy)) {
                continue;
            }
            const QRgb p = img.pixel(cx + dx, cy + dy);
            if (std::abs(qRed(p) - red) + std::abs(qGreen(p) - green) + std::abs(qBlue(p) - blue) < 40) {
                return true;
            }
        }
    }
    return false;
}

TEST(Picture, FirstFrame) {
    for (const qreal scale : {1.0, 2.0}) {
        const QImage img = render("", QSize(962, 688), scale);
        EXPECT_EQ(img.size(), QSize(962, 688) * scale);
        // The blue trace lies on the red one; the green profile peaks 12.99 to the right.
        EXPECT_TRUE(near(img, 65, 9.574539564, colour::blue, 2, scale));
        EXPECT_TRUE(near(img, 65 + 12.9893517335896, 9.574539564, colour::green, 2, scale));
        // The travel curve's lowest point, beside the marker at x = 15.
        EXPECT_TRUE(near(img, 15.6, 4.85, colour::lightOrange, 2, scale));
        EXPECT_TRUE(near(img, 15, 3, colour::nearBlack, 1, scale));
        EXPECT_TRUE(near(img, 140, 0, colour::nearBlack, 1, scale));
        EXPECT_EQ(img.pixel(static_cast<int>(UserScale{}.pixelX(150) * scale),
                            static_cast<int>(UserScale{}.pixelY(6) * scale)),
                  0xFFFFFFFFu);
        // Nothing of the red trace shows under the blue one.
        EXPECT_FALSE(near(img, 65, 9.574539564, colour::red, 1, scale));
    }
}

bool dark(QRgb p) {
    return qRed(p) < 64 && qGreen(p) < 64 && qBlue(p) < 64;
}

// At every scale, 125 % and 150 % included, the axes and ticks cover whole device
// pixels: the horizontal axis is as thick as the scale rounded (at least one),
// and every tick is as wide.
TEST(Picture, AxesAndTicksAreEvenAtEveryScale) {
    for (const qreal scale : {1.0, 1.25, 1.5, 1.75, 2.0, 3.0}) {
        const QImage img = render("", QSize(962, 688), scale);
        const int want = std::max(1, static_cast<int>(std::floor(scale + 0.5)));
        const int x = static_cast<int>(UserScale{}.pixelX(130) * scale);
        int thick = 0, axis = -1;
        for (int y = 0; y < img.height(); ++y) {
            if (dark(img.pixel(x, y))) {
                ++thick;
                axis = axis < 0 ? y : axis;
            }
        }
        EXPECT_EQ(thick, want) << "axis at scale " << scale;
        // Just below the axis only the ticks cross a row.
        const int y = axis + thick + static_cast<int>(2 * scale);
        std::vector<int> runs;
        for (int i = 0, run = 0; i < img.width(); ++i) {
            run = dark(img.pixel(i, y)) ? run + 1 : (run > 0 ? (runs.push_back(run), 0) : 0);
        }
        EXPECT_GE(runs.size(), 5u) << "ticks at scale " << scale;
        for (const int w : runs) {
            EXPECT_EQ(w, want) << "a tick at scale " << scale;
        }
    }
}

TEST(Picture, OverlaysAndLaterFrames) {
    const QImage img = render("backspace x");
    // k = 4.75: the blue trace has moved off the red one on the flanks.
    for (int i : {60, 140}) {
        const double x = 65 + (10400 - 104 * (i - 1)) / 100.0;
        EXPECT_TRUE(near(img, x, profiles::lift()[static_cast<std::size_t>(i - 1)], colour::red, 1)) << i;
    }
    EXPECT_TRUE(near(img, 65 + 12.9893517335896, 9.574539564, colour::green, 2));
    // The first profile's acceleration peaks (magenta) above the axis on both flanks.
    int magenta = 0, orange = 0;
    for (int y = 0; y < img.height(); ++y) {
        for (int x = 0; x < img.width(); ++x) {
            const QRgb p = img.pixel(x, y);
            magenta += qRed(p) > 200 && qGreen(p) < 60 && qBlue(p) > 200;
            orange += qRed(p) > 200 && qGreen(p) > 100 && qGreen(p) < 160 && qBlue(p) < 60;
        }
    }
    EXPECT_GT(magenta, 500);
    EXPECT_GT(orange, 500);
}

long residentKb() {
    long pages = 0, resident = 0;
    if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) {
            resident = 0;
        }
        std::fclose(f);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

TEST(Memory, PilingUpFramesDoesNotGrow) {
#if defined(__SANITIZE_ADDRESS__) || defined(ZM_SANITIZE)
    GTEST_SKIP() << "AddressSanitizer keeps freed memory in quarantine";
#endif
    // The whole sweep with frames piling up: what is kept is the canvas, not the frames.
    std::string keys = "slash";
    for (int i = 0; i < 62; ++i) {
        keys += " x";
    }
    ImageSurface canvas(QSize(962, 688), 1);
    std::vector<long> rss;
    script::ScriptHost host(script::parseScript(keys), nullptr, [&] { rss.push_back(residentKb()); });
    Form1 form(canvas, host);
    host.attach(form);
    host.play();
    ASSERT_EQ(rss.size(), 64u); // the first frame twice (slash redraws it), then 62 more
    EXPECT_LT(rss.back() - rss.front(), 2048)
        << rss.front() << " kB after the first frame, " << rss.back() << " kB after the last";
}

// A mechanism whose first profile rises to 14 over cam angles from 150 down
// to -150: its traces need a plane taller and wider than the design's.
Mechanism tallWideMechanism() {
    Mechanism m;
    m.profile = LiftProfile{};
    const double pi = 4 * std::atan(1.0);
    for (int i = 0; i <= 300; ++i) {
        const double angle = 150 - i;
        m.profile.angle.push_back(angle);
        m.profile.lift.push_back(7 * (1 + std::cos(angle * pi / 150)));
    }
    EXPECT_EQ(prepareMechanism(m), "");
    return m;
}

TEST(Window, OpensAtItsPlanesSizeAndDrawsTheWholeProfile) {
    const Mechanism m = tallWideMechanism();
    const UserScale plane = planeFor(m);
    ASSERT_GT(plane.width, 962);
    ASSERT_GT(plane.height, 688);
    FormWindow w(m);
    EXPECT_EQ(w.form().plane(), plane);
    EXPECT_EQ(w.canvas().plane(), plane);
    EXPECT_EQ(w.size(), QSize(plane.width, plane.height));
    EXPECT_EQ(w.canvas().logicalSize(), QSize(plane.width, plane.height));

    // The first frame on a canvas of the plane: the peak at (65, 14), above the
    // design plane's top, and both ends of the profile, beyond its sides. At the
    // first control angle the moving trace lies on the first profile, and is
    // drawn over it.
    const QSize size(plane.width, plane.height);
    ImageSurface canvas(size, 1);
    canvas.setPlane(plane);
    script::ScriptHost host(script::parseScript(""));
    Form1 form(canvas, host, m);
    host.attach(form);
    host.play();
    const QImage img = canvas.picture(size);
    const auto profile = [&](double x, double y) {
        return near(img, x, y, colour::red, 2, 1, plane) || near(img, x, y, colour::blue, 2, 1, plane);
    };
    EXPECT_TRUE(profile(65, 14));
    EXPECT_TRUE(profile(65 - 150, 0));
    EXPECT_TRUE(profile(65 + 150, 0));
    EXPECT_FALSE(profile(65, 16)); // and nothing above it
}

} // namespace
} // namespace zm::test

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
