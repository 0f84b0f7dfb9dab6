#include "app/timestamp.h"

#include "base/console.h"

void PrintTimeOfDay(const SYSTEMTIME& local_time)
{
    ConsolePrint(L"%02d:%02d:%02d.%03d\n", local_time.wHour, local_time.wMinute, local_time.wSecond,
                 local_time.wMilliseconds);
}

void PrintTimestamp()
{
    FILETIME system_time;
    GetSystemTimeAsFileTime(&system_time);
    FILETIME local_file_time;
    SYSTEMTIME local_time;
    if (!FileTimeToLocalFileTime(&system_time, &local_file_time) ||
        !FileTimeToSystemTime(&local_file_time, &local_time)) {
        // The caller has printed the start of the line: still end it.
        ConsolePrint(L"--:--:--.---\n");
        return;
    }
    PrintTimeOfDay(local_time);
}
