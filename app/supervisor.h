// The main thread after start-up: starts and stops the capture thread.
#pragma once

// The whole program: locale, command line, supervision, shutdown. Returns
// the process exit status (0 on every path on which the program ends by
// itself).
int RunTrivandel(int argc, wchar_t** argv);
