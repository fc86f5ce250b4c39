// A held key's repeats and release reach only the window it was pressed in.
#include "toolbox/keyguard.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPointer>
#include <QWidget>

#include <map>

namespace tb {
namespace {

class KeyOwners : public QObject {
  public:
    using QObject::QObject;

  protected:
    bool eventFilter(QObject* receiver, QEvent* event) override {
        const QEvent::Type type = event->type();
        auto* widget = qobject_cast<QWidget*>(receiver);
        if (!widget || (type != QEvent::KeyPress && type != QEvent::KeyRelease &&
                        type != QEvent::ShortcutOverride))
            return false;
        auto* key = static_cast<QKeyEvent*>(event);
        QWidget* window = widget->window();
        if (type == QEvent::KeyPress && !key->isAutoRepeat()) {
            owners_[key->key()] = window;
            return false;
        }
        // A fresh press is announced as a shortcut first, before it is recorded.
        if (type == QEvent::ShortcutOverride && !key->isAutoRepeat()) return false;
        const auto owner = owners_.find(key->key());
        const bool delivered = owner != owners_.end() && owner->second == window;
        if (type == QEvent::KeyRelease && !key->isAutoRepeat() && owner != owners_.end())
            owners_.erase(owner);
        if (delivered) return false;
        // Accepted, so that it goes on to no parent and triggers no shortcut.
        event->accept();
        return true;
    }

  private:
    std::map<int, QPointer<QWidget>> owners_; // key -> the window it went down in
};

} // namespace

void GuardKeyEvents() {
    static QPointer<KeyOwners> guard;
    if (guard || !qApp) return;
    // Owned by the application, so that a new application gets a new filter.
    guard = new KeyOwners(qApp);
    qApp->installEventFilter(guard);
}

} // namespace tb
