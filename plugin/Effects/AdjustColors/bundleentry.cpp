// The bundle's one exported symbol: the host looks up `main` and calls it for every request.
#include "effectglue.h"

// A C++ function may not be named main with these parameters, so the symbol is given by name.
extern "C" __attribute__((visibility("default"))) int32_t
BundleEntryPoint(int32_t which, _PluginParams* params) __asm__("main");

int32_t BundleEntryPoint(int32_t which, _PluginParams* params) { return PlugInMain(which, params); }
