// The native build has no FatalAppExit: an exhausted heap ends the run.
#include <stdlib.h>

#include "str.h"

void StrOutOfMemory() {
    abort();
}
