// The uninstall sequence and the removal of the registration.
#pragma once

// The uninstall behind the uninstall dialog's OK (and of an unattended run).
void RunUninstall();
// Every registry entry the registration writes goes, children first.
void UnregisterProduct();
void UnregisterSoundEvent(const char* name);
