// zebo-morlix-render: runs the program headless on an offscreen canvas, plays
// a key script in place of a user, and writes the trace of drawing operations,
// PNG pictures and vector pictures. Every output appears only if the whole run
// succeeds, and all of them together.

#include "KeyScript.h"
#include "Outputs.h"
#include "ScriptHost.h"
#include "window/Form1.h"
#include "window/PictureText.h"
#include "window/RecordingSurface.h"
#include "window/SegmentPicture.h"
#include "window/qt/ImageSurface.h"
#include "window/qt/VectorExport.h"

#include <QBuffer>
#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QRegularExpression>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

namespace {

constexpr int exitBadInput = 2;

const char* const helpText = R"(Usage: zebo-morlix-render [options]

Runs the valve-lift geometry program headless on an offscreen canvas, plays a
key script in place of a user, and writes the drawing operations and pictures.

Options:
  --keys SCRIPT     the keys to play (default: none: the run ends at the first wait)
  --keys-file FILE  read the script from FILE (- for standard input) instead
  --sweep           then step through the rest of the sweep: 62 ordinary keys, one for
                    each frame after the first (the same as adding "x" 62 times; those
                    not needed when the program ends first are dropped)
  --trace FILE      write one line per operation to FILE
  --png FILE        write the picture as it stands when the run ends
  --svg FILE        the same picture as SVG vector graphics
  --pdf FILE        the same picture as a one-page PDF (96 pixels to the inch)
  --csv FILE        the picture's polylines as numbers: curve,path,x,y in plane units
  --frames DIR      write DIR/frame-0001.png, ... each time the program waits for a key
                    (more digits when there are more than 9999 frames)
  --size WxH        client size in logical pixels (default 962x688)
  --scale S         device pixel ratio of the PNG pictures (default 1)
  -h, --help        show this help
  FILE may be - for standard output. A device or a pipe is written into, never
  replaced. Outputs are written only when the whole run succeeds, all together.

Script: steps separated by white space; a step is KEY or KEY@F.N.
  KEY       one non-blank character (x is 120, , is 44, / is 47; a character beyond
            U+FFFF is delivered as U+FFFD, as the window does), or one of space enter
            tab backspace comma slash esc dblclick, or #CODE (0 to 65535)
  KEY       alone is delivered when the program next blocks waiting for a key
  KEY@F.N   is delivered at event pump N of frame F (frames counted from 1; the row
            pumps are 1-200, 201-400 and 401-600, and 601 starts the end-of-frame wait)
  The run ends when the program waits with no step left, or when it ends.

Trace lines: "line X1 Y1 X2 Y2 W 0x00BBGGRR", "cls", "wait", "end".

Exit status: 0 done, 2 bad input or an output that cannot be written,
130 or 143 interrupted (nothing is left behind).

Examples:
  zebo-morlix-render --keys "backspace tab@2.300 x" --trace - --png frame.png
  zebo-morlix-render --keys "backspace x" --svg frame.svg --pdf frame.pdf
  zebo-morlix-render --keys slash --sweep --frames frames/ --scale 2
)";

struct BadInput {
    std::string message;
};

void fail(const std::string& message) {
    throw BadInput{message};
}

// Writes each trace line as it comes to the trace output.
class TraceWriter : public zm::RecordingSurface {
  public:
    TraceWriter(zm::Surface* forward, zm::render::Output& out) : RecordingSurface(forward), out_(out) {}

  protected:
    void record(const zm::Op& op) override {
        line_ = zm::traceLine(op);
        line_.push_back('\n');
        out_.write(line_);
    }

  private:
    zm::render::Output& out_;
    std::string line_;
};

// The replay host of a run that may be interrupted: a signal stops it at the
// next event pump.
class RunHost : public zm::replay::ScriptHost {
  public:
    using ScriptHost::ScriptHost;
    void doEvents() override {
        zm::render::checkInterrupt();
        ScriptHost::doEvents();
    }
    void waitForEvents() override {
        zm::render::checkInterrupt();
        ScriptHost::waitForEvents();
    }
};

struct Options {
    std::string keys;
    QString keysFile;
    bool sweep = false;
    QString trace;
    QString png;
    QString svg;
    QString pdf;
    QString csv;
    QString frames;
    QSize size{zm::design::clientWidth, zm::design::clientHeight};
    double scale = 1;
};

Options parseOptions(const QStringList& args) {
    QCommandLineParser p;
    p.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption keys("keys", "", "SCRIPT");
    const QCommandLineOption keysFile("keys-file", "", "FILE");
    const QCommandLineOption sweep("sweep", "");
    const QCommandLineOption trace("trace", "", "FILE");
    const QCommandLineOption png("png", "", "FILE");
    const QCommandLineOption svg("svg", "", "FILE");
    const QCommandLineOption pdf("pdf", "", "FILE");
    const QCommandLineOption csv("csv", "", "FILE");
    const QCommandLineOption frames("frames", "", "DIR");
    const QCommandLineOption size("size", "", "WxH");
    const QCommandLineOption scale("scale", "", "S");
    const QCommandLineOption help(QStringList{"h", "help"});
    p.addOptions({keys, keysFile, sweep, trace, png, svg, pdf, csv, frames, size, scale, help});
    if (!p.parse(args)) {
        fail(p.errorText().toStdString());
    }
    if (p.isSet(help)) {
        std::fputs(helpText, stdout);
        std::exit(0);
    }
    if (!p.positionalArguments().isEmpty()) {
        fail("unexpected argument '" + p.positionalArguments().first().toStdString() + "' (see --help)");
    }
    for (const QCommandLineOption* o :
         {&keys, &keysFile, &trace, &png, &svg, &pdf, &csv, &frames, &size, &scale}) {
        if (p.values(*o).size() > 1) {
            fail("option --" + o->names().first().toStdString() + " is given more than once");
        }
    }
    Options o;
    o.keys = p.value(keys).toStdString();
    o.sweep = p.isSet(sweep);
    o.keysFile = p.value(keysFile);
    if (p.isSet(keys) && p.isSet(keysFile)) {
        fail("give the script with --keys or with --keys-file, not both");
    }
    if (p.isSet(keysFile) && o.keysFile.isEmpty()) {
        fail("--keys-file needs a file name, or - for standard input");
    }
    const auto file = [&p](const QCommandLineOption& opt, QString& out) {
        out = p.value(opt);
        if (p.isSet(opt) && out.isEmpty()) {
            fail("--" + opt.names().first().toStdString() + " needs a file name, or - for standard output");
        }
    };
    file(trace, o.trace);
    file(png, o.png);
    file(svg, o.svg);
    file(pdf, o.pdf);
    file(csv, o.csv);
    o.frames = p.value(frames);
    if (p.isSet(frames) && o.frames.isEmpty()) {
        fail("--frames needs a folder");
    }
    if (p.isSet(size)) {
        static const QRegularExpression re("^([0-9]{1,5})x([0-9]{1,5})$");
        const auto m = re.match(p.value(size));
        const int w = m.hasMatch() ? m.captured(1).toInt() : 0;
        const int h = m.hasMatch() ? m.captured(2).toInt() : 0;
        if (w < 1 || h < 1 || w > 8192 || h > 8192) {
            fail("--size '" + p.value(size).toStdString() +
                 "' is out of range: give WxH with W and H from 1 to 8192");
        }
        o.size = QSize(w, h);
    }
    if (p.isSet(scale)) {
        bool ok = false;
        const double s = p.value(scale).toDouble(&ok);
        if (!ok || !std::isfinite(s) || s < 0.25 || s > 8) {
            fail("--scale '" + p.value(scale).toStdString() +
                 "' is out of range: give a number from 0.25 to 8");
        }
        o.scale = s;
    }
    const double devicePixels = static_cast<double>(o.size.width()) * o.size.height() * o.scale * o.scale;
    if (devicePixels > 64.0 * 1024 * 1024) {
        fail("--size and --scale give a picture of more than 64 million pixels");
    }
    return o;
}

std::string readScriptFile(const QString& name) {
    constexpr std::size_t limit = 64u << 20;
    std::string text;
    std::FILE* f = name == "-" ? stdin : std::fopen(QFile::encodeName(name).constData(), "rb");
    if (f == nullptr) {
        fail("cannot read --keys-file '" + name.toStdString() + "': " + std::strerror(errno));
    }
    char buf[65536];
    std::size_t n = 0;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0 && text.size() <= limit) {
        text.append(buf, n);
    }
    const bool bad = std::ferror(f) != 0;
    const int err = errno;
    if (f != stdin) {
        std::fclose(f);
    }
    if (bad) {
        fail("cannot read --keys-file '" + name.toStdString() + "': " + std::strerror(err));
    }
    if (text.size() > limit) {
        fail("--keys-file '" + name.toStdString() + "' is larger than 64 MiB");
    }
    return text;
}

std::vector<zm::replay::Step> readSteps(const Options& o) {
    try {
        std::vector<zm::replay::Step> steps =
            zm::replay::parseScript(o.keysFile.isEmpty() ? o.keys : readScriptFile(o.keysFile));
        if (o.sweep) {
            zm::replay::appendSweep(steps);
        }
        return steps;
    } catch (const zm::replay::ScriptError& e) {
        fail(e.what());
    }
    return {};
}

// Empty if the image cannot be encoded.
QByteArray pngBytes(const QImage& img) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    return img.save(&buffer, "PNG") ? bytes : QByteArray();
}

void put(zm::render::Output& out, const QByteArray& bytes, const char* option) {
    if (bytes.isEmpty()) {
        fail(std::string("cannot make the ") + option + " picture");
    }
    out.write(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

QString frameName(const QString& dir, int n, int digits) {
    return QDir(dir).filePath(QString("frame-%1.png").arg(n, digits, 10, QChar('0')));
}

int run(const Options& o) {
    const std::vector<zm::replay::Step> steps = readSteps(o);

    // Every output is opened before the run, so an unwritable one is found at
    // once; none appears unless the whole run succeeds.
    zm::render::OutputSet outputs;
    const auto open = [&outputs](const QString& name, const char* option) -> zm::render::Output* {
        return name.isEmpty() ? nullptr : &outputs.add(QFile::encodeName(name).toStdString(), option);
    };
    zm::render::Output* traceOut = open(o.trace, "--trace");
    zm::render::Output* pngOut = open(o.png, "--png");
    zm::render::Output* svgOut = open(o.svg, "--svg");
    zm::render::Output* pdfOut = open(o.pdf, "--pdf");
    zm::render::Output* csvOut = open(o.csv, "--csv");
    if (!o.frames.isEmpty()) {
        outputs.makeFolder(QFile::encodeName(o.frames).toStdString(), "--frames");
    }

    // The operations pass through the trace and the vector picture on their way
    // to the canvas.
    zm::ImageSurface canvas(o.size, o.scale);
    zm::Surface* surface = &canvas;
    std::unique_ptr<zm::SegmentPicture> vectors;
    if (svgOut != nullptr || pdfOut != nullptr || csvOut != nullptr) {
        vectors = std::make_unique<zm::SegmentPicture>(surface);
        surface = vectors.get();
    }
    std::unique_ptr<TraceWriter> tracer;
    if (traceOut != nullptr) {
        tracer = std::make_unique<TraceWriter>(surface, *traceOut);
        surface = tracer.get();
    }

    std::vector<zm::render::Output*> frames;
    auto onWait = [&] {
        if (o.frames.isEmpty()) {
            return;
        }
        const int n = static_cast<int>(frames.size()) + 1;
        zm::render::Output& f =
            outputs.add(QFile::encodeName(frameName(o.frames, n, 4)).toStdString(), "--frames");
        put(f, pngBytes(canvas.picture(o.size)), "--frames");
        f.close();
        frames.push_back(&f);
    };
    RunHost host(steps, tracer.get(), onWait);
    zm::Form1 form(*surface, host);
    host.attach(form);
    host.play();

    if (pngOut != nullptr) {
        put(*pngOut, pngBytes(canvas.picture(o.size)), "--png");
    }
    if (svgOut != nullptr) {
        const std::string text = zm::svgText(*vectors, o.size.width(), o.size.height());
        svgOut->write(text.data(), text.size());
    }
    if (pdfOut != nullptr) {
        put(*pdfOut, zm::pdfPicture(*vectors, o.size), "--pdf");
    }
    if (csvOut != nullptr) {
        const std::string text = zm::csvText(*vectors);
        csvOut->write(text.data(), text.size());
    }
    // Past 9999 frames every name gets as many digits as the last, so that the
    // names sort in frame order.
    const int digits = std::max<int>(4, static_cast<int>(std::to_string(frames.size()).size()));
    if (digits > 4) {
        for (std::size_t i = 0; i < frames.size(); ++i) {
            outputs.rename(
                *frames[i],
                QFile::encodeName(frameName(o.frames, static_cast<int>(i) + 1, digits)).toStdString());
        }
    }
    zm::render::checkInterrupt();
    outputs.commit();
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    zm::render::catchInterrupts();
    zm::render::guardStandardDescriptors();
    // The renderer needs no display, whatever the environment says, and keeps
    // standard error for its own messages.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& msg) {
        if (type == QtFatalMsg) {
            std::fprintf(stderr, "zebo-morlix-render: %s\n", qPrintable(msg));
        }
    });
    QGuiApplication app(argc, argv);
    try {
        return run(parseOptions(QGuiApplication::arguments()));
    } catch (const BadInput& e) {
        std::fprintf(stderr, "zebo-morlix-render: %s\n", e.message.c_str());
    } catch (const zm::replay::ScriptError& e) {
        std::fprintf(stderr, "zebo-morlix-render: %s\n", e.what());
    } catch (const zm::render::OutputError& e) {
        std::fprintf(stderr, "zebo-morlix-render: %s\n", e.what());
    } catch (const zm::render::Interrupted& e) {
        std::fprintf(stderr, "zebo-morlix-render: interrupted by %s; nothing was written\n",
                     e.signal == SIGINT ? "SIGINT" : "SIGTERM");
        zm::render::dieOf(e.signal);
    }
    return exitBadInput;
}
