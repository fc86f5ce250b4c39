// Opening documents with the desktop's default application, or through a test hook.
#include "LaunchServices.h"

#include "toolbox/guiapp.h"
#include "toolbox/testseams.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

OSStatus LSOpenFSRef(const FSRef* inRef, FSRef*) {
    if (!inRef) return paramErr;
    const QString path = QString::fromUtf8(inRef->path, qstrnlen(inRef->path, sizeof inRef->path));
    if (path.isEmpty() || !QFileInfo(path).isFile()) return fnfErr;
    if (const auto hook = tb::Seams().documentOpener; hook.proc)
        return hook.proc(path.toUtf8().constData(), hook.refCon);
    if (!tb::HasGUI()) return kLSApplicationNotFoundErr;
    if (QDesktopServices::openUrl(QUrl::fromLocalFile(path))) return noErr;
    tb::Warn("no application opened %s", qPrintable(path));
    return kLSApplicationNotFoundErr;
}
