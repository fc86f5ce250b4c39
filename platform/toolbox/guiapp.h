// Platform-internal: whether widgets may be used, Mac OS Roman text for widgets, and the
// toolkit's error messages.
#pragma once

#include "CFString.h"

#include <QByteArray>
#include <QString>

#include <memory>

namespace tb {

// True only when a QApplication exists: widgets must not be made otherwise.
bool HasGUI();

// Drops one reference when a holder goes out of scope.
struct CFReleaser {
    void operator()(CFTypeRef cf) const { CFRelease(cf); }
};
using CFStringHolder = std::unique_ptr<const OpaqueCFString, CFReleaser>;

// The string's text; empty for null.
QString TextOfCFString(CFStringRef string);
// A new string holding the text (up to a zero character).
CFStringHolder CFStringOfText(const QString& text);

// Mac OS Roman bytes (any length, any byte) as text.
QString TextFromMacRoman(const void* bytes, long size);
// The text as Mac OS Roman; characters without a Mac OS Roman form become '?'.
QByteArray MacRomanFromText(const QString& text);

// Writes "toolbox: <message>" to standard error (printf format).
void Warn(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Four-character code of a four-character text ("ok  "); false for any other length or a
// character beyond one byte.
bool CodeFromText(const QString& text, FourCharCode* code);
// The code as its four characters, for messages.
QString TextFromCode(FourCharCode code);

} // namespace tb
