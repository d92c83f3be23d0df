#include "process.h"

HINSTANCE ModuleInstance;
HWND MainDialog;
Str SourceDir;
