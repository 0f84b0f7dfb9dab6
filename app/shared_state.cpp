#include "shared_state.h"

LiveControlBytes LiveControls;

HANDLE ctrlEvent = nullptr;
HANDLE powerEvent = nullptr;
HANDLE stopEvent = nullptr;
HANDLE captureThread = nullptr;
HANDLE priorityProcess = nullptr;
std::atomic<HWND> hiddenWindow{nullptr};

Settings captureSettings = {};
bool captureSettingsFilled = false;
