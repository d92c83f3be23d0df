// The product's sound events: registered by the install, removed by the
// uninstall, both walking this one table so the two can never disagree.
#pragma once

struct SoundEvent {
    const char* name;  // key name under the label and scheme keys
    const char* label; // what the sound control panel shows
};

inline constexpr SoundEvent kSoundEvents[] = {
    {"KRCompileError", "Compile Error"},
    {"KRRunError", "Run Time Error"},
    {"KRmes", "Message: mes"},
    {"KRinp", "Message: inp"},
    {"KRlist", "Message: list"},
    {"KRTSmenu", "T.S. Menu: activated"},
    {"KRTSmenu2", "T.S. Menu: execute item"},
};

// Key paths under HKEY_CURRENT_USER that an event name completes: its label
// key and its key in the product's sound scheme. Without the last backslash
// they name the parents (the scheme one is the product's application key).
inline constexpr char kEventLabelsPrefix[] = "AppEvents\\EventLabels\\";
inline constexpr char kSchemeAppPrefix[] = "AppEvents\\Schemes\\Apps\\Kestrune\\";
