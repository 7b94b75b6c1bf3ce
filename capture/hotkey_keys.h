#pragma once
// The keys the hotkey dialog offers and the texts that describe a hotkey. Portable, so the texts are
// tested natively; the Win32 side registers the hotkey and shows these texts.
#include <cstdint>
#include <span>
#include <string>

struct HotkeyKey {
    int virtualKey;    // Windows virtual-key code
    const char* name;  // display name, also the text of the dialog's list item
};

// The 48 keys of the dialog's list, in list order: "A" to "Z" (65-90), "0" to "9" (48-57), "F1" to "F12"
// (112-123).
std::span<const HotkeyKey> HotkeyKeyTable();
constexpr int kHotkeyKeyCount = 48;

// List index of a virtual-key code, or -1 for a key the list does not offer.
int HotkeyKeyIndex(int virtualKey);
// Virtual-key code of a list index, or -1 outside 0-47.
int HotkeyKeyAt(int index);

// Display name of a key; empty for a key outside the table.
std::string HotkeyDisplayName(int virtualKey);

// "CTRL + ", "Alt + ", "Shift + " for the modifiers that are on, always in this order.
std::string HotkeyModifierText(bool ctrl, bool alt, bool shift);

// RegisterHotKey modifier bits: MOD_ALT 1, MOD_CONTROL 2, MOD_SHIFT 4.
std::uint32_t HotkeyModifierFlags(bool ctrl, bool alt, bool shift);

// What the main window's hotkey label reads: the modifier text and the key's name, or, when the system
// refused the registration, "热键注册失败！ (" + that + ")".
std::string HotkeyLabelText(bool ctrl, bool alt, bool shift, int virtualKey, bool registered);

constexpr const char* kHotkeyFailureTip = "该热键可能已经被其他应用程序占用！";
constexpr const char* kHotkeyFailureMessage = "热键注册失败，该热键可能已经被其他应用程序占用！";
constexpr const char* kHotkeyFailureTitle = "错误：热键注册失败";
