// zebo-morlix-render: runs the program headless on an offscreen canvas, plays
// a key script in place of a user, and writes the trace of drawing operations
// and PNG pictures.

#include "KeyScript.h"
#include "ScriptHost.h"
#include "window/Form1.h"
#include "window/RecordingSurface.h"
#include "window/qt/ImageSurface.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QRegularExpression>
#include <QSaveFile>

#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

namespace {

constexpr int exitBadInput = 2;

const char* const helpText = R"(Usage: zebo-morlix-render [options]

Runs the valve-lift geometry program headless on an offscreen canvas, plays a
key script in place of a user, and writes the drawing operations and pictures.

Options:
  --keys SCRIPT   the keys to play (default: none: the run ends at the first wait)
  --sweep         then step through the rest of the sweep: 62 ordinary keys, one for
                  each frame after the first (the same as adding "x" 62 times)
  --trace FILE    write one line per operation to FILE (- for standard output)
  --png FILE      write the picture as it stands when the run ends
  --frames DIR    write DIR/frame-0001.png, ... each time the program waits for a key
  --size WxH      client size in logical pixels (default 962x688)
  --scale S       device pixel ratio of the pictures (default 1)
  -h, --help      show this help

Script: steps separated by white space; a step is KEY or KEY@F.N.
  KEY       one non-blank character (x is 120, , is 44, / is 47), or one of
            space enter tab backspace comma slash esc dblclick, or #CODE (0 to 65535)
  KEY       alone is delivered when the program next blocks waiting for a key
  KEY@F.N   is delivered at event pump N of frame F (frames counted from 1; the row
            pumps are 1-200, 201-400 and 401-600, and 601 starts the end-of-frame wait)
  The run ends when the program waits with no step left, or when it ends.

Trace lines: "line X1 Y1 X2 Y2 W 0x00BBGGRR", "cls", "wait", "end".

Examples:
  zebo-morlix-render --keys "backspace x tab@2.300 x" --trace - --png frame.png
  zebo-morlix-render --keys slash --sweep --frames frames/ --scale 2
)";

struct BadInput {
    std::string message;
};

void fail(const std::string& message) {
    throw BadInput{message};
}

// Writes each trace line as it comes to a file that is put in place only when
// the run has succeeded.
class TraceWriter : public zm::RecordingSurface {
  public:
    TraceWriter(zm::Surface* forward, QIODevice& out) : RecordingSurface(forward), out_(out) {}

  protected:
    void record(const zm::Op& op) override {
        std::string s = zm::traceLine(op);
        s.push_back('\n');
        out_.write(s.data(), static_cast<qint64>(s.size()));
    }

  private:
    QIODevice& out_;
};

struct Options {
    std::string keys;
    bool sweep = false;
    QString trace;
    QString png;
    QString frames;
    QSize size{zm::design::clientWidth, zm::design::clientHeight};
    double scale = 1;
};

Options parseOptions(const QStringList& args) {
    QCommandLineParser p;
    p.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption keys("keys", "", "SCRIPT");
    const QCommandLineOption sweep("sweep", "");
    const QCommandLineOption trace("trace", "", "FILE");
    const QCommandLineOption png("png", "", "FILE");
    const QCommandLineOption frames("frames", "", "DIR");
    const QCommandLineOption size("size", "", "WxH");
    const QCommandLineOption scale("scale", "", "S");
    const QCommandLineOption help(QStringList{"h", "help"});
    p.addOptions({keys, sweep, trace, png, frames, size, scale, help});
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
    for (const QCommandLineOption* o : {&keys, &trace, &png, &frames, &size, &scale}) {
        if (p.values(*o).size() > 1) {
            fail("option --" + o->names().first().toStdString() + " is given more than once");
        }
    }
    Options o;
    o.keys = p.value(keys).toStdString();
    o.sweep = p.isSet(sweep);
    o.trace = p.value(trace);
    o.png = p.value(png);
    o.frames = p.value(frames);
    if (p.isSet(trace) && o.trace.isEmpty()) {
        fail("--trace needs a file name, or - for standard output");
    }
    if (p.isSet(png) && o.png.isEmpty()) {
        fail("--png needs a file name");
    }
    if (p.isSet(frames) && o.frames.isEmpty()) {
        fail("--frames needs a directory");
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

// Opens a file that appears under its name only when committed.
std::unique_ptr<QSaveFile> openOutput(const QString& name, const char* option) {
    auto f = std::make_unique<QSaveFile>(name);
    if (!f->open(QIODevice::WriteOnly)) {
        fail(std::string("cannot write ") + option + " file '" + name.toStdString() +
             "': " + f->errorString().toStdString());
    }
    return f;
}

void savePng(const QImage& img, QSaveFile& f, const char* option) {
    if (!img.save(&f, "PNG") || !f.commit()) {
        fail(std::string("cannot write ") + option + " file '" + f.fileName().toStdString() + "'");
    }
}

int run(const Options& o) {
    const std::vector<zm::replay::Step> steps = [&] {
        try {
            std::string script = o.keys;
            if (o.sweep) {
                for (int i = 0; i < 62; ++i) {
                    script += " x";
                }
            }
            return zm::replay::parseScript(script);
        } catch (const zm::replay::ScriptError& e) {
            fail(e.what());
        }
        return std::vector<zm::replay::Step>{};
    }();

    // Outputs are opened before the run, so an unwritable path is found at once;
    // each appears only if the whole run succeeds.
    std::unique_ptr<QSaveFile> traceFile;
    std::unique_ptr<QFile> traceTemp;
    QIODevice* traceOut = nullptr;
    if (o.trace == "-") {
        traceTemp = std::make_unique<QFile>();
        std::FILE* tmp = std::tmpfile();
        if (tmp == nullptr || !traceTemp->open(tmp, QIODevice::ReadWrite, QFileDevice::AutoCloseHandle)) {
            fail("cannot make a temporary file for the trace");
        }
        traceOut = traceTemp.get();
    } else if (!o.trace.isEmpty()) {
        traceFile = openOutput(o.trace, "--trace");
        traceOut = traceFile.get();
    }
    std::unique_ptr<QSaveFile> pngFile;
    if (!o.png.isEmpty()) {
        pngFile = openOutput(o.png, "--png");
    }
    bool madeFramesDir = false;
    QStringList framesWritten;
    if (!o.frames.isEmpty()) {
        QDir dir(o.frames);
        if (!dir.exists()) {
            if (!QDir().mkpath(o.frames)) {
                fail("cannot make --frames directory '" + o.frames.toStdString() + "'");
            }
            madeFramesDir = true;
        }
    }

    zm::ImageSurface canvas(o.size, o.scale);
    std::unique_ptr<TraceWriter> tracer;
    zm::Surface* surface = &canvas;
    if (traceOut != nullptr) {
        tracer = std::make_unique<TraceWriter>(&canvas, *traceOut);
        surface = tracer.get();
    }
    zm::replay::ScriptHost* hostPtr = nullptr;
    auto onWait = [&] {
        if (o.frames.isEmpty()) {
            return;
        }
        const QString name =
            QDir(o.frames).filePath(QString("frame-%1.png").arg(hostPtr->waits(), 4, 10, QChar('0')));
        savePng(canvas.picture(o.size), *openOutput(name, "--frames"), "--frames");
        framesWritten << name;
    };
    zm::replay::ScriptHost host(steps, tracer.get(), onWait);
    hostPtr = &host;
    zm::Form1 form(*surface, host);
    host.attach(form);

    try {
        host.play();
    } catch (...) {
        for (const QString& f : framesWritten) {
            QFile::remove(f);
        }
        if (madeFramesDir) {
            QDir().rmdir(o.frames);
        }
        throw;
    }

    if (pngFile) {
        savePng(canvas.picture(o.size), *pngFile, "--png");
    }
    if (traceFile && !traceFile->commit()) {
        fail("cannot write --trace file '" + o.trace.toStdString() + "'");
    }
    if (traceTemp) {
        traceTemp->flush();
        traceTemp->seek(0);
        QFile out;
        out.open(stdout, QIODevice::WriteOnly);
        while (!traceTemp->atEnd()) {
            out.write(traceTemp->read(1 << 20));
        }
        out.flush();
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
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
    }
    return exitBadInput;
}
