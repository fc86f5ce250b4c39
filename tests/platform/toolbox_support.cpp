// The toolkit tests' shared pieces: application, forms, windows, classes and mouse input.
#include "toolbox_support.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace toolboxtest {
namespace {

// Deletes the application after the last test, while Qt is still whole.
class ApplicationEnvironment : public ::testing::Environment {
  public:
    void TearDown() override { delete QCoreApplication::instance(); }
};
// Registering touches no Qt: the application is made by the first test that needs it.
[[maybe_unused]] const auto* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new ApplicationEnvironment);

QMouseEvent MouseEvent(QEvent::Type type, QWidget* widget, QPoint where,
                       Qt::KeyboardModifiers modifiers) {
    const bool moving = type == QEvent::MouseMove;
    const bool pressed = type != QEvent::MouseButtonRelease;
    return QMouseEvent(type, QPointF(where), QPointF(widget->mapToGlobal(where)),
                       moving ? Qt::NoButton : Qt::LeftButton,
                       pressed ? Qt::LeftButton : Qt::NoButton, modifiers);
}

} // namespace

QApplication* App() {
    if (auto* app = qobject_cast<QApplication*>(QCoreApplication::instance())) return app;
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static int argc = 1;
    static char name[] = "test_platform";
    static char* argv[] = {name, nullptr};
    return new QApplication(argc, argv);
}

FourCharCode CodeOf(const std::string& text) {
    FourCharCode code = 0;
    for (unsigned char c : text)
        code = code << 8 | c;
    return code;
}

std::string FormFolder() {
    return LUMASHIFT_SOURCE_DIR "/tests/platform/toolbox_forms/test.nib";
}

CFStringOwner::CFStringOwner(const char* text)
    : ref(CFStringCreateWithCString(nullptr, text, kCFStringEncodingUTF8)) {}

CFStringOwner::~CFStringOwner() {
    CFRelease(ref);
}

TestWindow::TestWindow(const char* name, const std::string& folder) {
    App();
    IBNibRef nib = nullptr;
    status = ToolboxCreateNibReferenceAtPath(folder.c_str(), &nib);
    if (status != noErr) return;
    CFStringOwner windowName(name);
    status = CreateWindowFromNib(nib, windowName.ref, &window);
    DisposeNibReference(nib);
}

ControlRef TestWindow::Control(const std::string& signature, SInt32 number) const {
    const ControlID id{CodeOf(signature), number};
    ControlRef control = nullptr;
    GetControlByID(window, &id, &control);
    return control;
}

TestClass::TestClass(const char* identifier, std::initializer_list<UInt32> kinds,
                     EventHandlerProcPtr handler, void* data) {
    std::vector<EventTypeSpec> events;
    for (UInt32 kind : kinds)
        events.push_back({kEventClassControl, kind});
    CFStringOwner id(identifier);
    status = RegisterToolboxObjectClass(id.ref, nullptr, events.size(), events.data(),
                                        NewEventHandlerUPP(handler), data, &ref);
}

void SendMouse(QWidget* widget, QEvent::Type type, QPoint where, Qt::KeyboardModifiers modifiers) {
    QMouseEvent event = MouseEvent(type, widget, where, modifiers);
    QApplication::sendEvent(widget, &event);
}

} // namespace toolboxtest
