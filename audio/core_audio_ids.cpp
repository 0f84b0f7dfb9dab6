// MinGW's libuuid lacks the Core Audio identifiers and property keys: they
// are defined here, once, for the program and the stand-in objects alike
// (selectany, so a copy in libuuid does no harm).
#include <initguid.h>

#include <windows.h>

#include <audioclient.h>
#include <functiondiscoverykeys_devpkey.h>
#include <mmdeviceapi.h>
