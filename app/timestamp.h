// The local time of day as one console line.
#pragma once

#include <windows.h>

// Prints the current local time as "hh:mm:ss.mmm" and a line feed.
void PrintTimestamp();

// The formatting half of PrintTimestamp, for a time already read.
void PrintTimeOfDay(const SYSTEMTIME& local_time);
