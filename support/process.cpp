#include "process.h"

HINSTANCE ModuleInstance;
HWND MainDialog;
bool SilentRun;
Str SourceDir;
