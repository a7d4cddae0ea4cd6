#include "window/qt/FormWindow.h"

#include "window/KeyCodes.h"
#include "window/qt/VectorState.h"

#include <QCoreApplication>
#include <QExposeEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QScreen>
#include <QString>

namespace zm {

namespace {

// The shortest interval between two presentations while a frame is drawn: one
// refresh of the window's screen.
qint64 refreshIntervalMs(const QWindow& w) {
    const QScreen* s = w.screen();
    const qreal hz = s != nullptr ? s->refreshRate() : 60.0;
    return hz >= 1.0 ? static_cast<qint64>(1000.0 / hz) : 16;
}

} // namespace

FormWindow::FormWindow(const Mechanism& mechanism)
    : canvas_(QSize(design::clientWidth, design::clientHeight), devicePixelRatio()),
      form_(canvas_, *this, mechanism) {
    const QSize client(form_.plane().width, form_.plane().height);
    canvas_.setPlane(form_.plane());
    canvas_.ensureLogicalSize(client);
    setSurfaceType(QSurface::RasterSurface);
    setTitle(QString::fromUtf8(design::caption.data(), static_cast<qsizetype>(design::caption.size())));
    resize(client);
    store_ = std::make_unique<QBackingStore>(this);
    sincePresent_.start();
    refreshMs_ = refreshIntervalMs(*this);
    connect(this, &QWindow::screenChanged, this, [this] { refreshMs_ = refreshIntervalMs(*this); });
}

FormWindow::~FormWindow() = default;

bool FormWindow::showAndWaitForStart() {
    show();
    requestActivate();
    // On a bare X server the window is exposed but never activated until it is
    // clicked, so the first of the two starts the program.
    while (!started_ && !form_.ended()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return !form_.ended();
}

void FormWindow::doEvents() {
    if (!running_) {
        running_ = true;
        // Input given before the animation took over is handled at its first pump.
        for (const std::uint16_t code : early_) {
            form_.Form_KeyPress(code);
        }
        early_.clear();
        if (earlyDoubleClick_) {
            form_.Form_DblClick();
        }
    }
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    if (sincePresent_.elapsed() >= refreshMs_) {
        present();
    }
    releaseUpperVectorState();
}

void FormWindow::waitForEvents() {
    present();
    waiting_ = true;
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    waiting_ = false;
    releaseUpperVectorState();
}

void FormWindow::present() {
    if (canvas_.takeDirty()) {
        paintCanvas();
    }
}

void FormWindow::paintCanvas() {
    sincePresent_.restart();
    if (!isExposed()) {
        return;
    }
    const QRect area(QPoint(0, 0), store_->size()); // sized to the drawn part at each resize
    store_->beginPaint(area);
    {
        QPainter p(store_->paintDevice());
        const QImage& img = canvas_.image();
        const qreal dpr = canvas_.devicePixelRatio();
        p.drawImage(QRectF(0, 0, img.width() / dpr, img.height() / dpr), img);
    }
    store_->endPaint();
    store_->flush(area);
}

bool FormWindow::event(QEvent* e) {
    switch (e->type()) {
    case QEvent::Close:
        // Closing from the frame ends the program, like a double click.
        form_.End();
        break;
    case QEvent::FocusIn:
    case QEvent::WindowActivate:
        started_ = true;
        break;
    default:
        break;
    }
    return QWindow::event(e);
}

void FormWindow::exposeEvent(QExposeEvent*) {
    if (isExposed()) {
        started_ = true;
        paintCanvas(); // the window system lost what was shown; the canvas still holds it
    }
}

QSize FormWindow::drawnSize() const {
    QSize largest(form_.plane().width, form_.plane().height);
    for (const QScreen* s : QGuiApplication::screens()) {
        largest = largest.expandedTo(s->virtualSize());
    }
    const int most = static_cast<int>(ImageSurface::maxDeviceSide / canvas_.devicePixelRatio());
    return size().boundedTo(largest).boundedTo(QSize(most, most));
}

void FormWindow::resizeEvent(QResizeEvent*) {
    const QSize drawn = drawnSize();
    canvas_.ensureLogicalSize(drawn);
    store_->resize(drawn);
}

void FormWindow::keyPressEvent(QKeyEvent* e) {
    const QString text = e->text();
    if (!text.isEmpty()) {
        // One typed character is one key press, also beyond 16 bits.
        for (const char32_t c : text.toUcs4()) {
            deliverKey(keyCodeOf(c));
        }
        return;
    }
    // Some platforms give these keys no text; they still type their control codes.
    switch (e->key()) {
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        deliverKey(9);
        break;
    case Qt::Key_Backspace:
        deliverKey(8);
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        deliverKey(13);
        break;
    case Qt::Key_Escape:
        deliverKey(27);
        break;
    default:
        break;
    }
}

void FormWindow::mouseDoubleClickEvent(QMouseEvent*) {
    if (running_) {
        form_.Form_DblClick();
    } else {
        earlyDoubleClick_ = true;
    }
}

void FormWindow::deliverKey(std::uint16_t code) {
    if (running_) {
        form_.Form_KeyPress(code);
    } else {
        early_.push_back(code);
    }
}

} // namespace zm
