// The install sequence.
#pragma once

// The install behind the install dialog's OK (and of an unattended run):
// true when it ran to its end.
bool RunInstall();
