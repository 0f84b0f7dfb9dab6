// The program's one way onto the console. Every message is printed by one
// call of ConsolePrint (the wide-character formatted print), or for the two
// lines that the endpoint listing prints narrow, ConsolePrintNarrow.
//
// Format strings follow standard C: "%ls" for a wide string, "%s" for a
// narrow one, in both builds (MinGW's C99 stdio and glibc agree on this).
#pragma once

void ConsolePrint(const wchar_t* format, ...);
void ConsolePrintNarrow(const char* format, ...);

// Tests capture the console through a sink; nullptr restores the console.
// The sink gets the whole text of one print call.
using ConsoleSink = void (*)(const wchar_t* text);
void SetConsoleSink(ConsoleSink sink);
