#include "ui/KeyCodes.h"

#include <QKeyEvent>

namespace quillon::ui {

namespace {

struct KeyRow {
    int qt;
    std::uint16_t vk;
};

// Keys whose code does not follow from their character. Shifted digits and punctuation of the
// common layout map back to their unshifted key, as a key-down event reports the key, not the
// character it types.
constexpr KeyRow kKeys[] = {
    {Qt::Key_Backspace, VkBackspace}, {Qt::Key_Tab, 0x09},      {Qt::Key_Backtab, 0x09},
    {Qt::Key_Return, VkEnter},    {Qt::Key_Enter, VkEnter},    {Qt::Key_Shift, VkShift},
    {Qt::Key_Control, VkControl},   {Qt::Key_Alt, 0x12},      {Qt::Key_AltGr, 0x12},
    {Qt::Key_Pause, 0x13},     {Qt::Key_CapsLock, 0x14}, {Qt::Key_Escape, 0x1B},
    {Qt::Key_Space, VkSpace},     {Qt::Key_PageUp, 0x21},   {Qt::Key_PageDown, 0x22},
    {Qt::Key_End, 0x23},       {Qt::Key_Home, 0x24},     {Qt::Key_Left, VkLeft},
    {Qt::Key_Up, VkUp},        {Qt::Key_Right, VkRight},    {Qt::Key_Down, VkDown},
    {Qt::Key_Print, 0x2C},     {Qt::Key_Insert, 0x2D},   {Qt::Key_Delete, VkDelete},
    {Qt::Key_Meta, 0x5B},      {Qt::Key_Super_L, 0x5B},  {Qt::Key_Super_R, 0x5C},
    {Qt::Key_Menu, 0x5D},      {Qt::Key_NumLock, 0x90},  {Qt::Key_ScrollLock, 0x91},
    {Qt::Key_Exclam, 0x31},    {Qt::Key_At, 0x32},       {Qt::Key_NumberSign, 0x33},
    {Qt::Key_Dollar, 0x34},    {Qt::Key_Percent, 0x35},  {Qt::Key_AsciiCircum, 0x36},
    {Qt::Key_Ampersand, 0x37}, {Qt::Key_ParenLeft, 0x39}, {Qt::Key_ParenRight, 0x30},
    {Qt::Key_Semicolon, 0xBA}, {Qt::Key_Colon, 0xBA},    {Qt::Key_Equal, 0xBB},
    {Qt::Key_Comma, 0xBC},     {Qt::Key_Less, 0xBC},     {Qt::Key_Minus, 0xBD},
    {Qt::Key_Underscore, 0xBD}, {Qt::Key_Period, 0xBE},  {Qt::Key_Greater, 0xBE},
    {Qt::Key_Slash, 0xBF},     {Qt::Key_Question, 0xBF}, {Qt::Key_QuoteLeft, 0xC0},
    {Qt::Key_AsciiTilde, 0xC0}, {Qt::Key_BracketLeft, 0xDB}, {Qt::Key_BraceLeft, 0xDB},
    {Qt::Key_Backslash, 0xDC}, {Qt::Key_Bar, 0xDC},      {Qt::Key_BracketRight, 0xDD},
    {Qt::Key_BraceRight, 0xDD}, {Qt::Key_Apostrophe, 0xDE}, {Qt::Key_QuoteDbl, 0xDE},
    {Qt::Key_Plus, 0xBB},      {Qt::Key_Asterisk, 0x38},
};

// On the keypad the operators have codes of their own.
constexpr KeyRow kKeypad[] = {
    {Qt::Key_Asterisk, 0x6A}, {Qt::Key_Plus, 0x6B},  {Qt::Key_Minus, 0x6D},
    {Qt::Key_Period, 0x6E},   {Qt::Key_Comma, 0x6E}, {Qt::Key_Slash, 0x6F},
};

}  // namespace

std::optional<std::uint16_t> VirtualKeyFor(int qtKey, bool keypad)
{
    if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9)
        return static_cast<std::uint16_t>((keypad ? VkKeypad0 : 0x30) + (qtKey - Qt::Key_0));
    if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) return static_cast<std::uint16_t>(qtKey);
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24)
        return static_cast<std::uint16_t>(0x70 + (qtKey - Qt::Key_F1));
    if (keypad) {
        for (const auto& row : kKeypad)
            if (row.qt == qtKey) return row.vk;
    }
    for (const auto& row : kKeys)
        if (row.qt == qtKey) return row.vk;
    return std::nullopt;
}

std::optional<std::uint16_t> VirtualKeyFor(const QKeyEvent& event)
{
    return VirtualKeyFor(event.key(), event.modifiers().testFlag(Qt::KeypadModifier));
}

}  // namespace quillon::ui
