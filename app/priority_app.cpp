#include "app/priority_app.h"

#include <psapi.h>

#include <cwchar>

#include "app/shared_state.h"
#include "audio/settings.h"

namespace {

// SYNCHRONIZE to wait for the process's end, PROCESS_QUERY_INFORMATION and
// PROCESS_VM_READ to read its module list.
constexpr DWORD kPriorityAccess = SYNCHRONIZE | PROCESS_QUERY_INFORMATION | PROCESS_VM_READ;
static_assert(kPriorityAccess == 0x100410);

} // namespace

BOOL CALLBACK EnumWindowsProc(HWND window, LPARAM parameter)
{
    const wchar_t* priority_app = reinterpret_cast<const wchar_t*>(parameter);
    if (!IsWindowVisible(window))
        return TRUE;
    if (GetWindow(window, GW_OWNER) != nullptr)
        return TRUE;

    DWORD process_id = 0;
    if (GetWindowThreadProcessId(window, &process_id) == 0)
        process_id = 0;
    HANDLE process = OpenProcess(kPriorityAccess, FALSE, process_id);

    // Room for one module handle: the first module is the executable, and
    // a list that does not fit still writes its first entry.
    HMODULE module = nullptr;
    if (process) {
        DWORD needed = 0;
        if (!K32EnumProcessModules(process, &module, sizeof(module), &needed))
            module = nullptr;
    }

    // An unreadable name compares as the empty name.
    wchar_t name[kNameUnits] = {};
    if (process && module) {
        if (K32GetModuleBaseNameW(process, module, name, kNameUnits) == 0)
            name[0] = L'\0';
    }

    if (_wcsicmp(priority_app, name) == 0) {
        // Kept open: the supervisor waits on it. A process that could not
        // be opened stores null here, so it is not detected.
        priorityProcess = process;
    } else if (process) {
        CloseHandle(process);
    }
    return priorityProcess ? FALSE : TRUE;
}

void CheckPriorityApp(const wchar_t* priority_app)
{
    if (priorityProcess) {
        CloseHandle(priorityProcess);
        priorityProcess = nullptr;
    }
    // EnumWindows also reports FALSE when the callback stopped it; either
    // way the answer is in priorityProcess.
    EnumWindows(EnumWindowsProc, reinterpret_cast<LPARAM>(priority_app));
}
