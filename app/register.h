// The registry registration.
#pragma once

// The product's keys that more than one part reads: the Apps entry (under
// HKEY_LOCAL_MACHINE) and its parent, and the settings (HKEY_CURRENT_USER).
inline constexpr char kUninstallParent[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
inline constexpr char kUninstallKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\KR2";
inline constexpr char kSettingsKey[] = "Software\\Tovak\\KR2\\settings";

// Writes every value of the registration (the sound events: kSoundEvents).
void RegisterProduct();
void RegisterSoundEvent(const char* name, const char* label);
