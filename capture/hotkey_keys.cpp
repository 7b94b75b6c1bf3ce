#include "capture/hotkey_keys.h"

#include <array>

namespace {

constexpr std::array<HotkeyKey, kHotkeyKeyCount> kTable = {{
    {65, "A"},   {66, "B"},   {67, "C"},   {68, "D"},   {69, "E"},   {70, "F"},   {71, "G"},   {72, "H"},
    {73, "I"},   {74, "J"},   {75, "K"},   {76, "L"},   {77, "M"},   {78, "N"},   {79, "O"},   {80, "P"},
    {81, "Q"},   {82, "R"},   {83, "S"},   {84, "T"},   {85, "U"},   {86, "V"},   {87, "W"},   {88, "X"},
    {89, "Y"},   {90, "Z"},   {48, "0"},   {49, "1"},   {50, "2"},   {51, "3"},   {52, "4"},   {53, "5"},
    {54, "6"},   {55, "7"},   {56, "8"},   {57, "9"},   {112, "F1"}, {113, "F2"}, {114, "F3"}, {115, "F4"},
    {116, "F5"}, {117, "F6"}, {118, "F7"}, {119, "F8"}, {120, "F9"}, {121, "F10"}, {122, "F11"}, {123, "F12"},
}};

}  // namespace

std::span<const HotkeyKey> HotkeyKeyTable() { return kTable; }

int HotkeyKeyIndex(int virtualKey) {
    for (int i = 0; i < kHotkeyKeyCount; ++i)
        if (kTable[i].virtualKey == virtualKey) return i;
    return -1;
}

int HotkeyKeyAt(int index) { return index >= 0 && index < kHotkeyKeyCount ? kTable[index].virtualKey : -1; }

std::string HotkeyDisplayName(int virtualKey) {
    const int index = HotkeyKeyIndex(virtualKey);
    return index < 0 ? std::string() : std::string(kTable[index].name);
}

std::string HotkeyModifierText(bool ctrl, bool alt, bool shift) {
    std::string text;
    if (ctrl) text += "CTRL + ";
    if (alt) text += "Alt + ";
    if (shift) text += "Shift + ";
    return text;
}

std::uint32_t HotkeyModifierFlags(bool ctrl, bool alt, bool shift) {
    return (alt ? 1u : 0u) | (ctrl ? 2u : 0u) | (shift ? 4u : 0u);
}

std::string HotkeyLabelText(bool ctrl, bool alt, bool shift, int virtualKey, bool registered) {
    const std::string combination = HotkeyModifierText(ctrl, alt, shift) + HotkeyDisplayName(virtualKey);
    return registered ? combination : "热键注册失败！ (" + combination + ")";
}
