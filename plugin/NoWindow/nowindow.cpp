// The configuration window's entry points for builds without a window toolkit (a host that
// only renders, a processor without the toolkit): the custom button explains that this build
// has no window, and the custom control classes have nothing to register.
#include "PluginDefines.h"
#include "clipCTRL.h"
#include "colorCTRL.h"
#include "commonprocs.h"
#include "configdlghandler.h"

void DoConfig(PluginDataPtr) {
    Notify(CMYCLEARNAME " was built without a configuration window, so its settings cannot be "
                        "changed here. Set the region, gain and offset with a build that has "
                        "the window; this one renders with the saved configuration.");
}

void RegisterClipCtrl(void) {}
void UnregisterClipCtrl(void) {}
void RegisterColorBox(void) {}
void UnregisterColorBox(void) {}
