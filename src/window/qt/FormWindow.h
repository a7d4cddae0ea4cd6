#pragma once

#include "window/Form1.h"
#include "window/qt/ImageSurface.h"

#include <QBackingStore>
#include <QElapsedTimer>
#include <QWindow>
#include <memory>
#include <vector>

namespace zm {

// The top-level window that shows Form1's retained canvas and delivers its
// events: key characters to Form_KeyPress, double clicks to Form_DblClick, and
// closing from the frame as the end of the program. It is also the event host
// the animation yields to.
class FormWindow : public QWindow, public Host {
  public:
    // The window of the given mechanism, its client area the size of the plane
    // that shows the whole of it.
    explicit FormWindow(const Mechanism& mechanism = Mechanism{});
    ~FormWindow() override;

    Form1& form() { return form_; }
    ImageSurface& canvas() { return canvas_; }

    // Shows the window at its plane's size and waits until it is first active or
    // exposed; false if the program was ended before that.
    bool showAndWaitForStart();

    // Host.
    void doEvents() override;
    void waitForEvents() override;

    // Puts the canvas on the screen now if anything changed since it last went there.
    void present();
    // The part of the window the picture covers: all of it, up to the size of the
    // desktop (at least the plane's size) and the canvas's largest side. A window
    // made larger than that shows background beyond it and costs no more memory.
    QSize drawnSize() const;
    // True while the program is blocked waiting for events.
    bool waiting() const { return waiting_; }

  protected:
    bool event(QEvent* e) override;
    void exposeEvent(QExposeEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;

  private:
    void paintCanvas();
    void deliverKey(std::uint16_t code);

    ImageSurface canvas_;
    Form1 form_;
    std::unique_ptr<QBackingStore> store_;
    QElapsedTimer sincePresent_;
    qint64 refreshMs_ = 16;            // one refresh of the window's screen
    bool started_ = false;             // first activation or exposure seen
    bool running_ = false;             // the animation has taken over; keys go straight to the form
    std::vector<std::uint16_t> early_; // keys that came before the first DoEvents
    bool earlyDoubleClick_ = false;
    bool waiting_ = false;
};

} // namespace zm
