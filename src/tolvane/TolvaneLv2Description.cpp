// Writes the LV2 bundle's description of Tolvane (manifest.ttl, Tolvane.ttl) from the effect's
// own configuration and parameters; the build runs it after linking the module.
#include "kantele/lv2/Lv2Description.h"
#include "kantele/lv2/Lv2Entry.h"
#include "tolvane/Tolvane.h"

KANTELE_LV2_DESCRIPTION_MAIN(tolvane::Tolvane)
