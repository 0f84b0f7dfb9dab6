#include "app/shared_state.h"

HANDLE ctrlEvent = nullptr;
HANDLE powerEvent = nullptr;
HANDLE captureThread = nullptr;
HANDLE priorityProcess = nullptr;
std::atomic<HWND> hiddenWindow{nullptr};

Settings captureSettings = {};
bool captureSettingsFilled = false;
