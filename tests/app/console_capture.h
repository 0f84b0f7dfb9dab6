// Collects what the code under test prints through ConsolePrint.
#pragma once

#include <string>

// Starts collecting (clears what was collected before).
void BeginConsoleCapture();
// Stops collecting and returns the text printed since BeginConsoleCapture.
std::wstring EndConsoleCapture();
