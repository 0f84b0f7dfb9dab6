// Paths print in their native characters: ConsolePrint takes them as "%ls"
// on Windows (wide) and as "%s" elsewhere (narrow).
#pragma once

#ifdef _WIN32
#define PATH_SPEC L"%ls"
#else
#define PATH_SPEC L"%s"
#endif
