// The hotkey key list and the texts that show a hotkey.
#include <gtest/gtest.h>

#include "capture/hotkey_keys.h"

namespace {

TEST(HotkeyKeyTable, ListsLettersDigitsAndFunctionKeysInListOrder) {
    const auto table = HotkeyKeyTable();
    ASSERT_EQ(table.size(), 48u);
    for (int i = 0; i < 48; ++i) {
        std::string name;
        int code;
        if (i < 26) {
            name = std::string(1, char('A' + i));
            code = 'A' + i;
        } else if (i < 36) {
            name = std::string(1, char('0' + i - 26));
            code = '0' + i - 26;
        } else {
            name = "F" + std::to_string(i - 35);
            code = 112 + i - 36;
        }
        EXPECT_EQ(table[i].name, name) << i;
        EXPECT_EQ(table[i].virtualKey, code) << i;
        EXPECT_EQ(HotkeyKeyIndex(code), i);
        EXPECT_EQ(HotkeyKeyAt(i), code);
        EXPECT_EQ(HotkeyDisplayName(code), name);
    }
    for (int code : {0, 13, 27, 47, 58, 64, 91, 97, 111, 124, 255, -1}) {
        EXPECT_EQ(HotkeyKeyIndex(code), -1) << code;
        EXPECT_EQ(HotkeyDisplayName(code), "") << code;
    }
    EXPECT_EQ(HotkeyKeyAt(-1), -1);
    EXPECT_EQ(HotkeyKeyAt(48), -1);
}

TEST(HotkeyLabelText, NamesModifiersInCtrlAltShiftOrder) {
    struct Case {
        bool ctrl, alt, shift;
        int key;
        bool registered;
        std::string label;
        std::uint32_t flags;
    } cases[] = {
        {false, false, false, 117, true, "F6", 0},
        {true, true, false, 65, true, "CTRL + Alt + A", 3},
        {true, true, true, 65, true, "CTRL + Alt + Shift + A", 7},
        {false, true, true, 48, true, "Alt + Shift + 0", 5},
        {false, false, true, 123, true, "Shift + F12", 4},
        {true, false, false, 112, false, "热键注册失败！ (CTRL + F1)", 2},
        {false, false, false, 117, false, "热键注册失败！ (F6)", 0},
        {true, false, false, 13, true, "CTRL + ", 2},  // a key outside the list has no name
        {false, false, false, 13, false, "热键注册失败！ ()", 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(HotkeyLabelText(c.ctrl, c.alt, c.shift, c.key, c.registered), c.label);
        EXPECT_EQ(HotkeyModifierFlags(c.ctrl, c.alt, c.shift), c.flags);
    }
}

}  // namespace
