#include "capture_shared.h"

LiveControlBytes LiveControls;
HANDLE stopEvent = nullptr;
