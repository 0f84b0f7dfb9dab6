// The check's report as console lines, through the program's console.
#pragma once

#include "check/tap_check.h"

void PrintReport(const CheckReport& report);
