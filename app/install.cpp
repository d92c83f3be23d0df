// The install sequence behind the install dialog's OK button.
#include "setup.h"

bool RunInstall() {
    // The install sequence is not built yet: report that nothing was installed.
    return false;
}
