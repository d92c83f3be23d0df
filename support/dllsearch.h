#pragma once

// Keeps DLLs out of reach that lie in the current folder or beside the
// program (a download folder, in practice): only the system folder is
// searched for DLLs loaded by name from now on. Call first thing.
void RestrictDllSearch();
