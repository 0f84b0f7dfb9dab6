#include "audio/live_controls.h"

LiveControlBytes LiveControls;
HANDLE stopEvent = nullptr;
