// Platform-internal: the widget behind every custom control of an interface file.
#pragma once

#include "Controls.h"

#include <QWidget>

namespace tb {

// Shows its part of the window's port, asks its class handler to draw into the port when the
// picture is stale, and turns a mouse press into hit test, track and hit events.
class CustomControlWidget : public QWidget {
    Q_OBJECT
  public:
    // The class name an interface file gives this widget.
    static constexpr const char* kFormClassName = "CustomControl";
    // The property naming the control's class (a registered toolbox object class).
    static constexpr const char* kClassProperty = "toolboxClass";

    explicit CustomControlWidget(QWidget* parent);
    ~CustomControlWidget() override;

    // Binds the widget to its control: class, instance count and the form's value and range
    // (optional int properties `minimum`, `maximum`, `value`). Null unbinds.
    void Configure(ControlRef control);
    void Attach(ControlRef control) { control_ = control; }
    // The picture is stale: a draw event comes with the next paint.
    void RequestDraw();
    // Draws and shows the control at once when it is visible.
    void DrawNow();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    ControlRef control_ = nullptr;
    bool drawPending_ = true;
};

// Key modifier bits (CarbonEvents.h) of Qt's modifiers.
UInt32 KeyModifiersOf(Qt::KeyboardModifiers modifiers);

} // namespace tb
