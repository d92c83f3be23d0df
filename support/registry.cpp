#include "registry.h"

#include <string.h>

#include "holders.h"

namespace {

const int32_t kFirstReadSize = 300;

// Creates or opens the key and stores `size` bytes of `data`: the size, or
// 0 with the registry's code as the last error.
int32_t SetValue(const char* keyPath, const char* valueName, HKEY root, DWORD type,
                 const void* data, DWORD size) {
    HKEY key;
    DWORD disposition;
    LONG rc = RegCreateKeyExA(root, keyPath, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE,
                              nullptr, &key, &disposition);
    if (rc == ERROR_SUCCESS) {
        rc = RegSetValueExA(key, valueName, 0, type, static_cast<const BYTE*>(data), size);
        RegCloseKey(key);
    }
    SetLastError(static_cast<DWORD>(rc));
    return rc == ERROR_SUCCESS ? static_cast<int32_t>(size) : 0;
}

} // namespace

int32_t RegGetString(Str& out, const char* keyPath, const char* valueName, const char* defaultText,
                     HKEY root, DWORD type, HKEY* openKey) {
    // A default that is our own text would be overwritten by the read.
    Str defaultCopy;
    if (defaultText && defaultText == out.data) {
        defaultCopy.Assign(defaultText);
        defaultText = defaultCopy.data;
    }
    HKEY key;
    if (RegOpenKeyExA(root, keyPath, 0, KEY_QUERY_VALUE, &key) == ERROR_SUCCESS) {
        if (out.cap < kFirstReadSize)
            out.ResizeDiscard(kFirstReadSize);
        DWORD actualType = 0;
        DWORD size = static_cast<DWORD>(out.cap);
        LONG rc = RegQueryValueExA(key, valueName, nullptr, &actualType,
                                   reinterpret_cast<BYTE*>(out.data), &size);
        if (rc == ERROR_MORE_DATA) {
            // Room for the whole size reported, not for size - 1: data
            // stored without its NUL is all text, and asking again with the
            // old capacity would fail once more for a value one byte longer.
            out.ResizeDiscard(static_cast<int32_t>(size));
            rc = RegQueryValueExA(key, valueName, nullptr, &actualType,
                                  reinterpret_cast<BYTE*>(out.data), &size);
        }
        if (rc == ERROR_SUCCESS) {
            // size counts the terminating NUL, but the stored data need not
            // have one: then every byte is text (the block has room for the
            // terminator the resize writes after it).
            int32_t n = static_cast<int32_t>(size);
            if (n > 0 && out.data[n - 1] == 0)
                n--;
            out.SetLength(n, false);
        }
        if (openKey)
            *openKey = key;
        else
            RegCloseKey(key);
        if (rc == ERROR_SUCCESS && actualType == type)
            return out.len + 1;
    }
    out.Assign(defaultText);
    return 0;
}

int32_t RegSetString(const Str& value, const char* keyPath, const char* valueName, HKEY root,
                     DWORD type) {
    return SetValue(keyPath, valueName, root, type, value.data ? value.data : "",
                    static_cast<DWORD>(value.len) + 1);
}

int32_t RegSetDword(DWORD value, const char* keyPath, const char* valueName, HKEY root) {
    return SetValue(keyPath, valueName, root, REG_DWORD, &value, sizeof value);
}

int RegRemoveValue(const char* keyPath, const char* valueName, HKEY root) {
    HKEY key;
    if (RegOpenKeyExA(root, keyPath, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS)
        return 0;
    LONG rc = RegDeleteValueA(key, valueName);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS ? 1 : 0;
}

bool RegRemoveKey(const char* parentPath, const char* name, HKEY root, bool onlyIfEmpty) {
    KeyHolder parent;
    if (RegOpenKeyExA(root, parentPath, 0, KEY_ALL_ACCESS, parent.Out()) != ERROR_SUCCESS)
        return false;
    if (onlyIfEmpty) {
        KeyHolder child;
        if (RegOpenKeyExA(parent.Get(), name, 0, KEY_ENUMERATE_SUB_KEYS, child.Out()) !=
            ERROR_SUCCESS)
            return false;
        // Only subkeys count; values do not keep the key.
        Str scratch;
        PrepareBuffer(scratch, MAX_PATH);
        if (RegEnumKeyA(child.Get(), 0, scratch.data, static_cast<DWORD>(scratch.cap) + 1) !=
            ERROR_NO_MORE_ITEMS)
            return false;
    }
    return RegDeleteKeyA(parent.Get(), name) == ERROR_SUCCESS;
}

bool RegKeyExists(const char* keyPath, HKEY root) {
    KeyHolder key;
    return RegOpenKeyExA(root, keyPath, 0, KEY_QUERY_VALUE, key.Out()) == ERROR_SUCCESS;
}
