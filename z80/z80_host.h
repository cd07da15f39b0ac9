// Host-side settings of the processor library beyond the plain C exports.
#pragma once

#include "platform/dialogs.h"
#include "z80/z80.h"

// The library shows its message boxes through its own dialogs backend
// (stderr until a host installs one). The program installs its Qt dialogs,
// tests a recording backend; null restores stderr. Returns the previous one.
Z80_EXPORT platform::Dialogs* Z80_SetDialogs(platform::Dialogs* dialogs);
