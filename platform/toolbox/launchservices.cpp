// Opening documents with the desktop's default application, or through a test hook.
#include "LaunchServices.h"

#include "ToolboxTestHooks.h"
#include "toolbox/guiapp.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

namespace {

struct DocumentOpenerHook {
    ToolboxDocumentOpenerHook proc = nullptr;
    void* refCon = nullptr;
};
DocumentOpenerHook gHook;

} // namespace

OSStatus LSOpenFSRef(const FSRef* inRef, FSRef*) {
    if (!inRef) return paramErr;
    const QString path = QString::fromUtf8(inRef->path, qstrnlen(inRef->path, sizeof inRef->path));
    if (path.isEmpty() || !QFileInfo(path).isFile()) return fnfErr;
    if (gHook.proc) return gHook.proc(path.toUtf8().constData(), gHook.refCon);
    if (!tb::HasGUI()) return kLSApplicationNotFoundErr;
    if (QDesktopServices::openUrl(QUrl::fromLocalFile(path))) return noErr;
    tb::Warn("no application opened %s", qPrintable(path));
    return kLSApplicationNotFoundErr;
}

void ToolboxSetDocumentOpenerHook(ToolboxDocumentOpenerHook hook, void* refCon) {
    gHook = {hook, refCon};
}
