// Qt's keys must reach the editing keys with the codes a key-down event gives elsewhere: the
// keypad digits apart from the row digits, shifted keys as their unshifted key.
#include <gtest/gtest.h>

#include <Qt>

#include "ui/KeyCodes.h"

namespace quillon::ui {
namespace {

struct KeyCase {
    int qt;
    bool keypad;
    int vk;
};

TEST(KeyCodes, MapQtKeysOntoVirtualKeyCodes)
{
    const KeyCase cases[] = {
        {Qt::Key_0, false, 0x30},     {Qt::Key_9, false, 0x39},     {Qt::Key_0, true, 0x60},
        {Qt::Key_1, true, 0x61},      {Qt::Key_6, true, 0x66},      {Qt::Key_9, true, 0x69},
        {Qt::Key_A, false, 0x41},     {Qt::Key_F, false, 0x46},     {Qt::Key_Z, false, 0x5A},
        {Qt::Key_Space, false, 0x20}, {Qt::Key_Return, false, 0x0D}, {Qt::Key_Enter, true, 0x0D},
        {Qt::Key_Backspace, false, 0x08}, {Qt::Key_Delete, false, 0x2E}, {Qt::Key_Left, false, 0x25},
        {Qt::Key_Up, false, 0x26},    {Qt::Key_Right, false, 0x27}, {Qt::Key_Down, false, 0x28},
        {Qt::Key_Shift, false, 0x10}, {Qt::Key_Control, false, 0x11}, {Qt::Key_Alt, false, 0x12},
        {Qt::Key_Home, false, 0x24},  {Qt::Key_End, false, 0x23},   {Qt::Key_PageUp, false, 0x21},
        {Qt::Key_PageDown, false, 0x22}, {Qt::Key_F1, false, 0x70}, {Qt::Key_F12, false, 0x7B},
        // Shift+1 reports the key 1, not the character it types.
        {Qt::Key_Exclam, false, 0x31}, {Qt::Key_ParenRight, false, 0x30},
        // Keypad operators have their own codes, distinct from the main keyboard's.
        {Qt::Key_Minus, false, 0xBD}, {Qt::Key_Minus, true, 0x6D}, {Qt::Key_Asterisk, true, 0x6A},
    };
    for (const auto& c : cases) {
        const auto vk = VirtualKeyFor(c.qt, c.keypad);
        ASSERT_TRUE(vk.has_value()) << std::hex << c.qt;
        EXPECT_EQ(*vk, c.vk) << "Qt key 0x" << std::hex << c.qt << (c.keypad ? " on the keypad" : "");
    }
}

TEST(KeyCodes, KeysWithoutACodeAreNotGuessed)
{
    EXPECT_FALSE(VirtualKeyFor(Qt::Key_VolumeUp, false).has_value());
    EXPECT_FALSE(VirtualKeyFor(Qt::Key_unknown, false).has_value());
    EXPECT_FALSE(VirtualKeyFor(Qt::Key_Dead_Acute, false).has_value());
}

}  // namespace
}  // namespace quillon::ui
