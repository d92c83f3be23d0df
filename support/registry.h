// Registry access. A key is always a root (HKEY_CLASSES_ROOT,
// HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE) plus a path below it; "" names the
// key's default value. Every key opened here is closed before returning,
// except the one RegGetString hands over on request.
#pragma once

#include <windows.h>

#include "str.h"

// Reads a value of the expected type into `out`. Returns its length + 1, or
// 0 on any failure (missing key or value, wrong type), with `out` then set
// to `defaultText` (buffer-less for null). With `openKey`, the opened key is
// stored there and left open for the caller, whether the query worked or not.
int32_t RegGetString(Str& out, const char* keyPath, const char* valueName, const char* defaultText,
                     HKEY root, DWORD type, HKEY* openKey);
// Creates the key if needed and stores the text with its NUL. Returns the
// bytes written (length + 1), or 0 with the registry's code as the last
// error (so does RegSetDword).
int32_t RegSetString(const Str& value, const char* keyPath, const char* valueName, HKEY root,
                     DWORD type);
// Creates the key if needed and stores `value` as a REG_DWORD. Returns the
// bytes written (4) or 0.
int32_t RegSetDword(DWORD value, const char* keyPath, const char* valueName, HKEY root);
// 1 when the value was deleted, else 0.
int RegRemoveValue(const char* keyPath, const char* valueName, HKEY root);
// Deletes `name` one level below `parentPath` (never its subkeys). With
// onlyIfEmpty, a key that has a subkey is kept. True when deleted.
bool RegRemoveKey(const char* parentPath, const char* name, HKEY root, bool onlyIfEmpty);
// True when the key can be opened.
bool RegKeyExists(const char* keyPath, HKEY root);
