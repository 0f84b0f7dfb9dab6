#include "app/console_handler.h"

#include "app/shared_state.h"
#include "base/console.h"

BOOL WINAPI ConsoleCtrlHandler(DWORD control_type)
{
    if (control_type == CTRL_C_EVENT) {
        ConsolePrint(L">Received the [Ctrl]+[C] event!\n");
        // ctrlEvent exists before the handler is installed and is only
        // closed by the shutdown that this event starts.
        SetEvent(ctrlEvent);
        return TRUE;
    }
    ConsolePrint(L">Received unknown event! type=%d\n", static_cast<int>(control_type));
    return FALSE;
}
