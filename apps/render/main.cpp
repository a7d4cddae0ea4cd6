// zebo-morlix-render: runs the program headless on an offscreen canvas, plays
// a key script in place of a user, and writes the trace of drawing operations,
// PNG pictures and vector pictures. Every output appears only if the whole run
// succeeds, and all of them together. The command line is the one the trace
// program shares; the raster canvas, PNG, PDF and frames are this program's.

#include "cli/Main.h"
#include "io/Outputs.h"
#include "picture/SegmentPicture.h"
#include "window/qt/ImageSurface.h"
#include "window/qt/VectorExport.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <pwd.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// Empty if the image cannot be encoded.
std::string pngBytes(const QImage& img) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    return img.save(&buffer, "PNG") ? bytes.toStdString() : std::string();
}

// Without XDG_RUNTIME_DIR, Qt makes $TMPDIR/runtime-USER when it starts; the
// renderer needs none, and a run leaves nothing behind in $TMPDIR. The folder
// Qt is about to make, or empty if it is there already.
QString runtimeFolderQtWouldMake() {
    const passwd* pw = ::getpwuid(::geteuid());
    if (pw == nullptr || !qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        return {};
    }
    const QString folder = QDir::tempPath() + "/runtime-" + QFile::decodeName(pw->pw_name);
    return QFileInfo::exists(folder) ? QString() : folder;
}

// The offscreen raster canvas, with the pictures made from it.
class RasterCanvas : public zm::cli::Canvas {
  public:
    RasterCanvas(const zm::cli::Options& o, const zm::UserScale& plane)
        : app_(argc_, argv_), o_(o), size_(o.width, o.height), image_(size_, o.scale) {
        image_.setPlane(plane);
        if (!runtimeMade_.isEmpty()) {
            QDir().rmdir(runtimeMade_);
        }
    }

    zm::Surface* surface() override { return &image_; }

    void atWait(zm::cli::RunOutputs& out) override {
        if (o_.frames.empty()) {
            return;
        }
        const int n = static_cast<int>(frames_.size()) + 1;
        zm::io::Output& f = out.set.add(zm::io::frameName(o_.frames, n, 4), "--frames");
        zm::cli::put(f, pngBytes(image_.picture(size_)), "--frames");
        f.close();
        frames_.push_back(&f);
    }

    void finish(zm::cli::RunOutputs& out, const zm::picture::SegmentPicture* vectors) override {
        if (out.png != nullptr) {
            zm::cli::put(*out.png, pngBytes(image_.picture(size_)), "--png");
        }
        if (out.pdf != nullptr) {
            const QByteArray pdf = zm::pdfPicture(*vectors, size_);
            zm::cli::put(*out.pdf, std::string(pdf.constData(), static_cast<std::size_t>(pdf.size())),
                         "--pdf");
        }
        // Past 9999 frames every name gets as many digits as the last, so that
        // the names sort in frame order.
        const int digits = std::max<int>(4, static_cast<int>(std::to_string(frames_.size()).size()));
        if (digits > 4) {
            for (std::size_t i = 0; i < frames_.size(); ++i) {
                out.set.rename(*frames_[i], zm::io::frameName(o_.frames, static_cast<int>(i) + 1, digits));
            }
        }
    }

  private:
    // Qt takes no argument of the command line: the options are all read already.
    int argc_ = 1;
    char name_[19] = "zebo-morlix-render";
    char* argv_[2] = {name_, nullptr};
    QString runtimeMade_ = runtimeFolderQtWouldMake();
    QGuiApplication app_;
    const zm::cli::Options& o_;
    QSize size_;
    zm::ImageSurface image_;
    std::vector<zm::io::Output*> frames_;
};

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
    return zm::cli::main(zm::cli::Program::render, argc, argv,
                         [](const zm::cli::Options& o, const zm::UserScale& plane,
                            zm::cli::RunOutputs&) -> std::unique_ptr<zm::cli::Canvas> {
                             return std::make_unique<RasterCanvas>(o, plane);
                         });
}
