// The GUI of the dialog tests: one QApplication for the run, made in the environment's SetUp,
// and the helpers of dialog_testing.h.
#include "dialog_testing.h"

#include "Controls.h"
#include "MacWindows.h"

#include <QApplication>
#include <QMouseEvent>
#include <QWidget>

#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace dlgtest {

namespace {

class GuiEnvironment : public testing::Environment {
  public:
    void SetUp() override {
        // Forking a process that runs Qt's threads is unsafe: death tests start afresh.
        GTEST_FLAG_SET(death_test_style, "threadsafe");
        ASSERT_TRUE(ToolboxStartGUI(&argc_, argv_)) << "QT_QPA_PLATFORM=offscreen is needed";
    }
    void TearDown() override { ToolboxEndGUI(); }

  private:
    int argc_ = 1;
    char name_[12] = "test_dialog";
    char* argv_[2] = {name_, nullptr};
};

[[maybe_unused]] testing::Environment* const kGuiEnvironment =
    testing::AddGlobalTestEnvironment(new GuiEnvironment);

namespace fs = std::filesystem;

void WriteFile(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path) << text;
}

CFBundleRef CreateBundleAt(const std::string& dir) {
    CFURLRef url = CFURLCreateFromFileSystemRepresentation(
        nullptr, reinterpret_cast<const uint8_t*>(dir.c_str()), CFIndex(dir.size()), true);
    CFBundleRef bundle = CFBundleCreate(nullptr, url);
    CFRelease(url);
    return bundle;
}

} // namespace

bool ExitedNonZero(int status) {
    return WIFEXITED(status) && WEXITSTATUS(status) != 0;
}

ConsoleAlerts::ConsoleAlerts() {
    previousProc_ = SetStandardAlertPresenter(nullptr, nullptr, &previousRefCon_);
}

ConsoleAlerts::~ConsoleAlerts() {
    SetStandardAlertPresenter(previousProc_, previousRefCon_, nullptr);
}

TempBundle::TempBundle(const std::string& identifier,
                       const std::vector<std::pair<std::string, std::vector<Form>>>& nibs) {
    char pattern[] = "/tmp/dlgbundle-XXXXXX";
    const fs::path root = mkdtemp(pattern);
    dir_ = (root / "test.bundle").string();
    WriteFile(fs::path(dir_) / "Contents/Info",
              "CFBundleIdentifier = " + identifier + "\nCFBundleExecutable = test\n");
    for (const auto& [nib, forms] : nibs)
        for (const auto& [name, text] : forms)
            WriteFile(fs::path(dir_) / "Contents/Resources" / (nib + ".nib") / (name + ".ui"),
                      text);
    bundle_ = CreateBundleAt(dir_);
    EXPECT_NE(bundle_, nullptr) << dir_;
}

TempBundle::~TempBundle() {
    if (bundle_) CFRelease(bundle_);
    std::error_code ignored;
    fs::remove_all(fs::path(dir_).parent_path(), ignored);
}

std::string FormText(const std::string& name, int width, int height, const std::string& widgets) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<ui version=\"4.0\">\n <class>" + name +
           "</class>\n <widget class=\"QDialog\" name=\"" + name +
           "\">\n  <property name=\"geometry\"><rect><x>0</x><y>0</y><width>" +
           std::to_string(width) + "</width><height>" + std::to_string(height) +
           "</height></rect></property>\n" + widgets + " </widget>\n</ui>\n";
}

std::string ControlXml(const std::string& cls, const std::string& signature, int number, int x,
                       int y, int width, int height, const std::string& extra) {
    static int serial = 0;
    return "  <widget class=\"" + cls + "\" name=\"w" + std::to_string(++serial) +
           "\">\n   <property name=\"geometry\"><rect><x>" + std::to_string(x) + "</x><y>" +
           std::to_string(y) + "</y><width>" + std::to_string(width) + "</width><height>" +
           std::to_string(height) +
           "</height></rect></property>\n   <property name=\"signature\" "
           "stdset=\"0\"><string>" +
           signature +
           "</string></property>\n   <property name=\"number\" "
           "stdset=\"0\"><number>" +
           std::to_string(number) + "</number></property>\n" + extra + "  </widget>\n";
}

std::string CustomControlXml(const std::string& toolboxClass, const std::string& signature,
                             int number, int x, int y, int width, int height,
                             const std::string& extra) {
    return ControlXml("CustomControl", signature, number, x, y, width, height,
                      "   <property name=\"toolboxClass\" stdset=\"0\"><string>" + toolboxClass +
                          "</string></property>\n" + extra);
}

void PostMouseDrag(QWidget* widget, const std::vector<MouseStep>& steps) {
    if (steps.empty()) return;
    auto post = [widget](QEvent::Type type, const MouseStep& step, Qt::MouseButton button,
                         Qt::MouseButtons buttons) {
        const QPointF local(step.x, step.y);
        QCoreApplication::postEvent(widget, new QMouseEvent(type, local, widget->mapToGlobal(local),
                                                            button, buttons, step.modifiers));
    };
    post(QEvent::MouseButtonPress, steps.front(), Qt::LeftButton, Qt::LeftButton);
    for (size_t i = 1; i < steps.size(); ++i)
        post(QEvent::MouseMove, steps[i], Qt::NoButton, Qt::LeftButton);
    post(QEvent::MouseButtonRelease, steps.back(), Qt::LeftButton, Qt::NoButton);
    QCoreApplication::sendPostedEvents();
    QApplication::processEvents();
}

OSStatus SendToClassHandler(EventHandlerProcPtr handler, ControlRef control, UInt32 eventClass,
                            UInt32 kind, Point where, ControlPartCode* part) {
    EventRef event = nullptr;
    CreateEvent(nullptr, eventClass, kind, 0, 0, &event);
    SetEventParameter(event, kEventParamDirectObject, typeControlRef, sizeof control, &control);
    SetEventParameter(event, kEventParamMouseLocation, typeQDPoint, sizeof where, &where);
    const OSStatus result = handler(nullptr, event, nullptr);
    if (part)
        GetEventParameter(event, kEventParamControlPart, typeControlPartCode, nullptr, sizeof *part,
                          nullptr, part);
    ReleaseEvent(event);
    return result;
}

OSType Code(const char* text) {
    OSType code = 0;
    for (int i = 0; i < 4; ++i)
        code = code << 8 | uint8_t(text[i]);
    return code;
}

std::string ControlText(WindowRef window, const char* signature, int16_t number) {
    const ControlID id{Code(signature), number};
    ControlRef control = nullptr;
    GetControlByID(window, &id, &control);
    char buffer[256] = {};
    Size size = 0;
    GetControlData(control, kControlEntireControl, kControlStaticTextTextTag, sizeof buffer, buffer,
                   &size);
    return std::string(buffer, size_t(std::min<Size>(size, sizeof buffer)));
}

void RegisterPluginBundle() {
    CFBundleRef bundle = CreateBundleAt(LUMASHIFT_BUNDLE_DIR);
    ASSERT_NE(bundle, nullptr) << "no bundle at " LUMASHIFT_BUNDLE_DIR;
    CFRelease(bundle); // the registry keeps its own reference
}

PortOf::PortOf(WindowRef window) {
    GetGWorld(&port_, &device_);
    SetPortWindowPort(window);
}

PortOf::~PortOf() {
    SetGWorld(port_, device_);
}

} // namespace dlgtest
