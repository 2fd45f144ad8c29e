// The Tolvane plug-in module's entry point, in the format its build target chooses.
#include "kantele/PluginAdapter.h"
#include KANTELE_PLUGIN_ENTRY_HEADER
#include "tolvane/Tolvane.h"

KANTELE_PLUGIN_ENTRY(tolvane::Tolvane)
