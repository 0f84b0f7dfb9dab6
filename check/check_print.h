// The check's report as console lines, through the program's console.
#pragma once

#include "tap_check.h"

void PrintReport(const CheckReport& report);
