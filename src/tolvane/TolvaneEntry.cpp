// The Tolvane plug-in module's entry point.
#include "kantele/vst2/Vst2Entry.h"
#include "tolvane/Tolvane.h"

KANTELE_VST2_ENTRY(tolvane::Tolvane)
