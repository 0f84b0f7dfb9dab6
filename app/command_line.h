// The command line: defaults, the walk over the arguments, the verbose echo
// and the usage text.
#pragma once

#include "audio/settings.h"

// Fills `settings` and `priority_app` (kNameUnits units) from the arguments
// (argv[0], the program path, is skipped). Returns false when the usage text
// was printed and the program is to end with status 0.
bool ParseCommandLine(int argc, wchar_t** argv, Settings* settings, wchar_t* priority_app);
