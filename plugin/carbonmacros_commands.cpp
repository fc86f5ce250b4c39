// The toolkit adapter's command texts: plain byte work that every build has, with or without a
// window toolkit.
#include "carbonmacros.h"

#include <cstring>

CommandText CommandID2Str(UInt32 TheCommandID) {
    CommandText text{};
    // By shifts, not by the integer's bytes in memory: the same text on either byte order.
    for (int i = 0; i < 4; ++i)
        text.Chars[i] = char((TheCommandID >> (24 - 8 * i)) & 0xFF);
    return text;
}

Boolean IsCommand(const CommandText& TheText, const char* TheCommand) {
    return std::memcmp(TheText.Chars, TheCommand, 4) == 0;
}
