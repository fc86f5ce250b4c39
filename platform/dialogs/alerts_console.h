// Platform-internal: the presenter used when no window toolkit or test has installed one.
#pragma once

#include "Dialogs.h"

// Writes the alert to standard error and answers its default button.
DialogItemIndex ConsoleAlertPresenter(const AlertContent* alert, void* refCon);
