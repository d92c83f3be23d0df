// The uninstall sequence behind the uninstall dialog's OK button.
#include "setup.h"

void RunUninstall() {
    // The uninstall sequence is not built yet: it removes nothing.
}
