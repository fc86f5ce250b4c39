// Interface files: a folder of Qt Designer forms, one per window, loaded and checked against
// the conventions of IBCarbonRuntime.h before the window is made.
#include "IBCarbonRuntime.h"

#include "CarbonEvents.h"
#include "toolbox/controls.h"
#include "toolbox/customcontrol.h"
#include "toolbox/guiapp.h"
#include "toolbox/objectclasses.h"
#include "toolbox/testseams.h"
#include "toolbox/windows.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLayout>
#include <QUiLoader>

struct OpaqueIBNibRef {
    QString folder;
};

namespace {

constexpr int kLargestPortSide = 32767; // port rectangles have 16-bit sides

// Builds our custom control widget and notes every class Qt had to replace by another:
// QUiLoader turns a class it does not know into its base class with only a warning.
class FormLoader : public QUiLoader {
  public:
    QWidget* createWidget(const QString& className, QWidget* parent, const QString& name) override {
        if (className == tb::CustomControlWidget::kFormClassName) {
            auto* widget = new tb::CustomControlWidget(parent);
            widget->setObjectName(name);
            return widget;
        }
        QWidget* widget = QUiLoader::createWidget(className, parent, name);
        if (widget && !IsOfClass(widget, className))
            replaced << QString("%1 \"%2\" came out as %3")
                            .arg(className, name, widget->metaObject()->className());
        return widget;
    }

    QStringList replaced;

  private:
    // Designer's "Line" is a QFrame by design.
    static bool IsOfClass(const QWidget* widget, const QString& className) {
        const char* made = widget->metaObject()->className();
        return className == made || (className == "Line" && qstrcmp(made, "QFrame") == 0);
    }
};

QString Describe(const QWidget* widget) {
    const QVariant signature = widget->property("signature");
    if (signature.isValid())
        return QString("control \"%1\" %2")
            .arg(signature.toString())
            .arg(widget->property("number").toString());
    return QString("widget \"%1\"").arg(widget->objectName());
}

bool IsFourCharacters(const QVariant& text) {
    FourCharCode code = 0;
    return tb::CodeFromText(text.toString(), &code);
}

bool SendsCommands(QWidget* widget) {
    return qobject_cast<QAbstractButton*>(widget) || qobject_cast<QComboBox*>(widget);
}

// What is wrong with one widget's conventional properties; empty when nothing is.
QString ProblemOf(QWidget* widget) {
    const QVariant signature = widget->property("signature");
    if (signature.isValid() && !IsFourCharacters(signature))
        return "signature is not four characters";
    bool numbered = false;
    widget->property("number").toInt(&numbered);
    if (signature.isValid() && !numbered) return "no integer property \"number\"";
    const QVariant command = widget->property("command");
    if (command.isValid() && !(IsFourCharacters(command) && SendsCommands(widget)))
        return "command is not four characters on a button or pop-up menu";
    const QVariant className = widget->property(tb::CustomControlWidget::kClassProperty);
    const bool custom = qobject_cast<tb::CustomControlWidget*>(widget) != nullptr;
    if (className.isValid() && !custom)
        return QString("names a control class but is not a ") +
               tb::CustomControlWidget::kFormClassName;
    if (custom && !tb::FindClass(className.toString().toStdString()))
        return "control class \"" + className.toString() + "\" is not registered";
    return {};
}

// Everything in the form that breaks the conventions, one line each.
QStringList FormProblems(QWidget* root) {
    QStringList problems;
    for (QWidget* widget : root->findChildren<QWidget*>())
        if (const QString problem = ProblemOf(widget); !problem.isEmpty())
            problems << Describe(widget) + ": " + problem;
    return problems;
}

// Widgets of a hidden window get their places only when shown; lay every level out now, so
// that control bounds are right before the window first shows.
void LayOut(QWidget* root) {
    if (root->layout()) root->layout()->activate();
    for (QWidget* widget : root->findChildren<QWidget*>())
        if (widget->layout()) widget->layout()->activate();
}

// The window keeps the size of its port: fixed, at least what its layout needs.
bool FixSize(QWidget* root) {
    LayOut(root);
    const QSize size = root->size().expandedTo(root->minimumSizeHint());
    if (size.isEmpty() || size.width() > kLargestPortSide || size.height() > kLargestPortSide)
        return false;
    root->setFixedSize(size);
    LayOut(root);
    return true;
}

// A port the size of the window's content, cleared to the background colour.
OSStatus MakePort(QWidget* root, GWorldPtr* port) {
    const Rect bounds{0, 0, int16_t(root->height()), int16_t(root->width())};
    const OSStatus status = NewGWorld(port, 32, &bounds, nullptr, nullptr, 0);
    if (status != noErr) return status;
    CGrafPtr savedPort = nullptr;
    GDHandle savedDevice = nullptr;
    GetGWorld(&savedPort, &savedDevice);
    SetGWorld(*port, nullptr);
    EraseRect(&bounds);
    SetGWorld(savedPort, savedDevice);
    return noErr;
}

OSStatus Refuse(const QString& form, const QString& reason, OSStatus status) {
    tb::Warn("cannot make a window of %s: %s", qPrintable(form), qPrintable(reason));
    return status;
}

QWidget* LoadForm(const QString& path, OSStatus* status) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *status = Refuse(path, "no such form", kIBCarbonRuntimeCantFindObject);
        return nullptr;
    }
    FormLoader loader;
    QWidget* root = loader.load(&file, nullptr);
    if (!root) {
        *status = Refuse(path, loader.errorString(), kIBCarbonRuntimeObjectNotOfRequestedType);
        return nullptr;
    }
    const QStringList problems = loader.replaced + FormProblems(root);
    if (!problems.isEmpty()) {
        delete root;
        *status = Refuse(path, problems.join("; "), kIBCarbonRuntimeObjectNotOfRequestedType);
        return nullptr;
    }
    return root;
}

} // namespace

OSStatus tb::NibReferenceForFolder(const QString& folder, IBNibRef* outNibRef) {
    if (!QFileInfo(folder).isDir()) return kIBCarbonRuntimeCantFindNibFile;
    *outNibRef = new OpaqueIBNibRef{QDir::cleanPath(folder)};
    return noErr;
}

OSStatus CreateNibReferenceWithCFBundle(CFBundleRef bundle, CFStringRef nibName,
                                        IBNibRef* outNibRef) {
    if (!outNibRef) return paramErr;
    *outNibRef = nullptr;
    if (!bundle || !nibName) return paramErr;
    const tb::CFStringHolder type = tb::CFStringOfText("nib");
    const std::unique_ptr<const OpaqueCFURL, tb::CFReleaser> url(
        CFBundleCopyResourceURL(bundle, nibName, type.get(), nullptr));
    FSRef folder;
    if (!url || !CFURLGetFSRef(url.get(), &folder)) return kIBCarbonRuntimeCantFindNibFile;
    return tb::NibReferenceForFolder(QString::fromUtf8(folder.path), outNibRef);
}

OSStatus CreateWindowFromNib(IBNibRef nibRef, CFStringRef name, WindowRef* outWindow) {
    if (!outWindow) return paramErr;
    *outWindow = nullptr;
    if (!nibRef || !name) return paramErr;
    const QString form = nibRef->folder + "/" + tb::TextOfCFString(name) + ".ui";
    if (!tb::HasGUI()) return Refuse(form, "no QApplication", kToolboxNoGUIErr);
    OSStatus status = noErr;
    QWidget* root = LoadForm(form, &status);
    if (!root) return status;
    if (!FixSize(root)) {
        delete root;
        return Refuse(form, "window size out of range", kIBCarbonRuntimeObjectNotOfRequestedType);
    }
    GWorldPtr port = nullptr;
    if ((status = MakePort(root, &port)) != noErr) {
        delete root;
        return Refuse(form, "no memory for its port", status);
    }
    WindowRef window = tb::AdoptWindow(root, port);
    tb::BuildControls(window);
    for (const auto& control : window->controls)
        if (control->kind == OpaqueControlRef::Kind::Custom)
            tb::SendControlEvent(control.get(), kEventControlOwningWindowChanged);
    *outWindow = window;
    return noErr;
}

void DisposeNibReference(IBNibRef nibRef) {
    delete nibRef;
}
