// Opening documents in the user's preferred application (the platform's Launch Services).
//
// Threading: main thread only.
#pragma once

#include "Files.h"
#include "MacTypes.h"

PLATFORM_EXPORTS_BEGIN

enum : OSStatus {
    kLSApplicationNotFoundErr = -10814, // no application (or no desktop) to open it with
};

// Opens the file in the desktop's default application for its type and returns without
// waiting for it. outLaunchedRef is not filled (may be null). fnfErr when the file does not
// exist; paramErr for a null reference; kLSApplicationNotFoundErr when the desktop refuses or
// there is no QApplication (a test may capture the request instead, ToolboxTestHooks.h).
OSStatus LSOpenFSRef(const FSRef* inRef, FSRef* outLaunchedRef);

PLATFORM_EXPORTS_END
