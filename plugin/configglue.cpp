// Configuration side of the host glue.
#include "configglue.h"

#include "DataHandling.h"
#include "MacMemory.h"
#include "callpixelfx.h"
#include "clipCTRL.h"
#include "colorCTRL.h"
#include "commonprocs.h"
#include "configdlghandler.h"
#include "prefsloader.h"

#include <cstring>

void pGetConfigSize(Size* theSize) {
    *theSize = kPluginDataSize;
}

void pCopyConfig(const PluginDataRec* source, PluginDataPtr dest) {
    if (!source || !dest) return;
    auto* from = reinterpret_cast<Ptr>(const_cast<PluginDataRec*>(source));
    auto* to = reinterpret_cast<Ptr>(dest);
    if (GetPtrSize(from) != GetPtrSize(to)) {
        Str255 headline, description;
        CToText("Non-Matching Blocks", headline);
        CToText("The Size of Source and Dest do not match", description);
        Terminate(headline, description);
    }
    std::memcpy(to, from, size_t(kPluginDataSize));
}

void InitCore(void) {}

OSErr InitMyPlugIn(PluginDataPtr* theData) {
    Assert(*theData, "Unable to allocate new data structure");
    return InitPluginData(*theData);
}

OSErr InitPluginData(PluginDataPtr theConfig) {
    Assert(theConfig, "Nil theConfig on InitPluginData");
    ResetConfig(theConfig);
    OSErr why = noErr;
    // A record that could not be read is never saved over. Short of memory, or when its file
    // could not be read, it is read again later; where no file is (a folder in its place), the
    // defaults stay.
    if (ReadConfigRecord(theConfig, &why) == kConfigUnreadable)
        return why == memFullErr || why == ioErr ? why : OSErr(noErr);
    // Written back: what was read, or the defaults where nothing usable was stored.
    SaveConfig(theConfig);
    return noErr;
}

void ConfigurePlugIn(PluginDataPtr theData, GWorldPtr theGW, _PluginParams* params,
                     int32_t firstFrameIndex, int32_t numberOfFrames) {
    gTheConfig = theData;
    PluginWorkSpace& ws = gConfigWorkSpace;
    ws.TheConfig = gTheConfig;
    ws.SourceClip = theGW;
    ws.iMovieParams = params;
    ws.CurrFrameIndex = 0;
    ws.MinFrameIndex = firstFrameIndex;
    ws.MaxFrameIndex = (numberOfFrames < 1 ? 1 : numberOfFrames) - 1;
    ws.ActiveRel = 1;

    ws.TheFXClip = AllocateRectGWorld(GetPortRect(theGW));
    Assert(ws.TheFXClip, "Unable to allocate theProcessed in ConffigurePlug Init run");
    Assert(theData,
           "uninited theData in Configure master proc. need to call init before calling me");
    // This run of the window owns the preview's helpers; they end when it closes.
    ws.PreviewWorkers = NewRowWorkers();

    CallPixelEffect(theGW, ws.TheFXClip);
    RegisterColorBox();
    RegisterClipCtrl();
    DoConfig(gTheConfig);
    UnregisterClipCtrl();
    UnregisterColorBox();
    DisposeRowWorkers(ws.PreviewWorkers);
    ws.PreviewWorkers = nullptr;
    DisposeGWorld(ws.TheFXClip);
    ws.TheFXClip = nullptr;
}

void DoEffect(const PluginDataRec* myConfig, GWorldPtr theSource, GWorldPtr theTarget,
              int32_t currentFrameIndex, int32_t totalFrames, RowWorkers* workers) {
    Assert(myConfig,
           "uninited theData in Plugin Effect master proc. need to call init before calling me");
    CGrafPtr savedPort;
    GDHandle savedDevice;
    GetGWorld(&savedPort, &savedDevice);
    DoCorePixelEffect(theSource, theTarget, myConfig, currentFrameIndex, totalFrames, workers);
    SetGWorld(savedPort, savedDevice);
}
