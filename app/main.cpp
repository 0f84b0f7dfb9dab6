#include "app/supervisor.h"

int wmain(int argc, wchar_t** argv)
{
    return RunTrivandel(argc, argv);
}
