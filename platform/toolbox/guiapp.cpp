// Starting and ending the GUI, Mac OS Roman text for widgets, and the toolkit's messages.
#include "toolbox/guiapp.h"

#include "CFString.h"
#include "MacWindows.h"
#include "toolbox/testseams.h"

#include <QApplication>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

QApplication* gOwnApplication = nullptr; // the one ToolboxStartGUI made, if any

bool EnvironmentSet(const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
}

// A QApplication made without any display aborts the process, so ask first.
bool DisplayPossible() {
    return EnvironmentSet("QT_QPA_PLATFORM") || EnvironmentSet("DISPLAY") ||
           EnvironmentSet("WAYLAND_DISPLAY");
}

// Pascal strings carry at most 255 bytes, so longer texts cross in pieces; Mac OS Roman has
// one byte per character, so no piece splits a character.
constexpr long kPieceBytes = 255;

QString PieceFromMacRoman(const unsigned char* bytes, long size) {
    Str255 pascal;
    pascal[0] = static_cast<unsigned char>(size);
    std::copy(bytes, bytes + size, pascal + 1);
    const tb::CFStringHolder string(
        CFStringCreateWithPascalString(nullptr, pascal, kCFStringEncodingMacRoman));
    return tb::TextOfCFString(string.get());
}

// One character's Mac OS Roman byte, or '?' when it has none.
char MacRomanOfCharacter(const QString& character) {
    const tb::CFStringHolder string = tb::CFStringOfText(character);
    char encoded[2] = {};
    if (string &&
        CFStringGetCString(string.get(), encoded, sizeof encoded, kCFStringEncodingMacRoman) &&
        encoded[0] != 0)
        return encoded[0];
    return '?';
}

} // namespace

namespace tb {

bool HasGUI() {
    return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
}

QString TextOfCFString(CFStringRef string) {
    if (!string) return {};
    // UTF-8 takes at most four bytes a character, and the terminator one more.
    std::vector<char> utf8(size_t(CFStringGetLength(string)) * 4 + 1);
    if (!CFStringGetCString(string, utf8.data(), CFIndex(utf8.size()), kCFStringEncodingUTF8))
        return {};
    return QString::fromUtf8(utf8.data());
}

CFStringHolder CFStringOfText(const QString& text) {
    return CFStringHolder(
        CFStringCreateWithCString(nullptr, text.toUtf8().constData(), kCFStringEncodingUTF8));
}

QString TextFromMacRoman(const void* bytes, long size) {
    QString text;
    const auto* at = static_cast<const unsigned char*>(bytes);
    const auto* end = at + size;
    for (;;) {
        // A zero byte is U+0000 in Mac OS Roman as in ASCII; the strings between cross without it.
        const auto* zero = std::find(at, end, 0);
        for (long piece; at < zero; at += piece) {
            piece = std::min(kPieceBytes, long(zero - at));
            text += PieceFromMacRoman(at, piece);
        }
        if (zero == end) return text;
        text += QChar(0);
        at = zero + 1;
    }
}

QByteArray MacRomanFromText(const QString& text) {
    QByteArray bytes;
    // Walk whole characters (surrogate pairs stay together) so each maps on its own.
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype length = text.at(i).isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        bytes.append(MacRomanOfCharacter(text.mid(i, length)));
        i += length;
    }
    return bytes;
}

void Warn(const char* format, ...) {
    std::fputs("toolbox: ", stderr);
    va_list arguments;
    va_start(arguments, format);
    std::vfprintf(stderr, format, arguments);
    va_end(arguments);
    std::fputc('\n', stderr);
}

bool CodeFromText(const QString& text, FourCharCode* code) {
    const QByteArray latin1 = text.toLatin1();
    if (text.size() != 4 || QString::fromLatin1(latin1) != text) return false;
    *code = 0;
    for (char c : latin1)
        *code = (*code << 8) | static_cast<unsigned char>(c);
    return true;
}

QString TextFromCode(FourCharCode code) {
    QString text;
    for (int shift = 24; shift >= 0; shift -= 8)
        text += QChar(static_cast<unsigned char>(code >> shift));
    return text;
}

} // namespace tb

Boolean ToolboxStartGUI(int* argc, char** argv) {
    if (!tb::HasGUI()) {
        if (QCoreApplication::instance() || !DisplayPossible() || !argc) return false;
        gOwnApplication = new QApplication(*argc, argv);
    }
    tb::InstallMessageBoxPresenter();
    return true;
}

void ToolboxEndGUI(void) {
    if (!gOwnApplication) return;
    SetStandardAlertPresenter(nullptr, nullptr, nullptr);
    delete gOwnApplication;
    gOwnApplication = nullptr;
}
