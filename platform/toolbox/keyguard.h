// Platform-internal: a held key's events stay with the window it was pressed in.
#pragma once

namespace tb {

// Installs, once per application, the filter that keeps the repeats and the release of a key
// from reaching any window but the one that was active when the key went down. Without it,
// Return held in a window that closes goes on to press the default button of the one below.
void GuardKeyEvents();

} // namespace tb
