// Built when Qt is not available: the defaults, and no dialog.
#include "sound/settings.h"

namespace kelvora {

KelvoraSettings LoadSettings() { return {}; }
bool SaveSettings(const KelvoraSettings&) { return false; }
bool EditSettings(KelvoraSettings&) { return false; }

}  // namespace kelvora
