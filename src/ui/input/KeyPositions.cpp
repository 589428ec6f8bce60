#include "ui/input/KeyPositions.h"

#include <QGuiApplication>
#include <QKeyEvent>

#include <array>

namespace brindle {
namespace {

// Windows virtual-key codes a US layout gives for the punctuation keys.
enum : int {
    VkSemicolon = 186,
    VkEqual = 187,
    VkComma = 188,
    VkMinus = 189,
    VkPeriod = 190,
    VkSlash = 191,
    VkGrave = 192,
    VkLeftBracket = 219,
    VkBackslash = 220,
    VkRightBracket = 221,
    VkApostrophe = 222,
    VkIso102 = 226,
};

// Indexed by the evdev code (= PC set-1 scan code) of the keys of the main block.
constexpr std::array<int, 89> ByPosition = [] {
    std::array<int, 89> t{};
    t[1] = 27; // Escape
    const char digits[] = "1234567890";
    for (int i = 0; i < 10; ++i)
        t[2 + i] = digits[i];
    t[12] = VkMinus;
    t[13] = VkEqual;
    t[14] = 8; // Backspace
    t[15] = 9; // Tab
    const char top[] = "QWERTYUIOP";
    for (int i = 0; i < 10; ++i)
        t[16 + i] = top[i];
    t[26] = VkLeftBracket;
    t[27] = VkRightBracket;
    t[28] = 13; // Return
    t[29] = 17; // left Ctrl
    const char home[] = "ASDFGHJKL";
    for (int i = 0; i < 9; ++i)
        t[30 + i] = home[i];
    t[39] = VkSemicolon;
    t[40] = VkApostrophe;
    t[41] = VkGrave;
    t[42] = 16; // left Shift
    t[43] = VkBackslash;
    const char bottom[] = "ZXCVBNM";
    for (int i = 0; i < 7; ++i)
        t[44 + i] = bottom[i];
    t[51] = VkComma;
    t[52] = VkPeriod;
    t[53] = VkSlash;
    t[54] = 16;       // right Shift
    t[56] = 18;       // left Alt
    t[57] = 32;       // Space
    t[58] = 20;       // Caps Lock
    t[86] = VkIso102; // the extra key beside left Shift on ISO keyboards
    return t;
}();

} // namespace

TScanCodeKind ScanCodeKindOf(const QString& PlatformName) {
    // Offscreen and minimal run on the same Linux boxes as xcb: a scan code there is an X keycode.
    if (PlatformName == "xcb" || PlatformName.startsWith("wayland") || PlatformName == "offscreen" ||
        PlatformName == "minimal" || PlatformName == "eglfs" || PlatformName == "linuxfb")
        return TScanCodeKind::XKeycode;
    if (PlatformName == "windows") return TScanCodeKind::PcScanCode;
    return TScanCodeKind::None;
}

TScanCodeKind CurrentScanCodeKind() {
    return ScanCodeKindOf(QGuiApplication::platformName());
}

int VirtualKeyFromScanCode(quint32 ScanCode, TScanCodeKind Kind) {
    quint32 code = ScanCode;
    switch (Kind) {
    case TScanCodeKind::None:
        return 0;
    case TScanCodeKind::XKeycode:
        if (code < 8) return 0;
        code -= 8;
        break;
    case TScanCodeKind::PcScanCode:
        // Extended keys (right Ctrl, arrows …) carry 0xE0 in the high byte: not in the table.
        break;
    }
    return code < ByPosition.size() ? ByPosition[code] : 0;
}

int VirtualKeyFromQtKey(int QtKey, Qt::KeyboardModifiers Modifiers) {
    if (Modifiers.testFlag(Qt::KeypadModifier)) {
        if (QtKey >= Qt::Key_0 && QtKey <= Qt::Key_9) return 96 + (QtKey - Qt::Key_0);
        switch (QtKey) {
        case Qt::Key_Asterisk:
            return 106;
        case Qt::Key_Plus:
            return 107;
        case Qt::Key_Minus:
            return 109;
        case Qt::Key_Period:
        case Qt::Key_Comma:
            return 110;
        case Qt::Key_Slash:
            return 111;
        default:
            break; // Enter, arrows and the like are the same keys as off the keypad
        }
    }
    if (QtKey >= Qt::Key_A && QtKey <= Qt::Key_Z) return QtKey;
    if (QtKey >= Qt::Key_0 && QtKey <= Qt::Key_9) return QtKey;
    if (QtKey >= Qt::Key_F1 && QtKey <= Qt::Key_F24) return 112 + (QtKey - Qt::Key_F1);
    switch (QtKey) {
    // Shifted characters of a US keyboard name the key they are on.
    case Qt::Key_Exclam:
        return '1';
    case Qt::Key_At:
        return '2';
    case Qt::Key_NumberSign:
        return '3';
    case Qt::Key_Dollar:
        return '4';
    case Qt::Key_Percent:
        return '5';
    case Qt::Key_AsciiCircum:
        return '6';
    case Qt::Key_Ampersand:
        return '7';
    case Qt::Key_Asterisk:
        return '8';
    case Qt::Key_ParenLeft:
        return '9';
    case Qt::Key_ParenRight:
        return '0';
    case Qt::Key_Semicolon:
    case Qt::Key_Colon:
        return VkSemicolon;
    case Qt::Key_Equal:
    case Qt::Key_Plus:
        return VkEqual;
    case Qt::Key_Comma:
    case Qt::Key_Less:
        return VkComma;
    case Qt::Key_Minus:
    case Qt::Key_Underscore:
        return VkMinus;
    case Qt::Key_Period:
    case Qt::Key_Greater:
        return VkPeriod;
    case Qt::Key_Slash:
    case Qt::Key_Question:
        return VkSlash;
    case Qt::Key_QuoteLeft:
    case Qt::Key_AsciiTilde:
        return VkGrave;
    case Qt::Key_BracketLeft:
    case Qt::Key_BraceLeft:
        return VkLeftBracket;
    case Qt::Key_Backslash:
    case Qt::Key_Bar:
        return VkBackslash;
    case Qt::Key_BracketRight:
    case Qt::Key_BraceRight:
        return VkRightBracket;
    case Qt::Key_Apostrophe:
    case Qt::Key_QuoteDbl:
        return VkApostrophe;
    case Qt::Key_Backspace:
        return 8;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return 9;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return 13;
    case Qt::Key_Shift:
        return 16;
    case Qt::Key_Control:
        return 17;
    case Qt::Key_Alt:
        return 18;
    case Qt::Key_Pause:
        return 19;
    case Qt::Key_CapsLock:
        return 20;
    case Qt::Key_Escape:
        return 27;
    case Qt::Key_Space:
        return 32;
    case Qt::Key_PageUp:
        return 33;
    case Qt::Key_PageDown:
        return 34;
    case Qt::Key_End:
        return 35;
    case Qt::Key_Home:
        return 36;
    case Qt::Key_Left:
        return 37;
    case Qt::Key_Up:
        return 38;
    case Qt::Key_Right:
        return 39;
    case Qt::Key_Down:
        return 40;
    case Qt::Key_Print:
        return 44;
    case Qt::Key_Insert:
        return 45;
    case Qt::Key_Delete:
        return 46;
    case Qt::Key_Menu:
        return 93;
    case Qt::Key_NumLock:
        return 144;
    case Qt::Key_ScrollLock:
        return 145;
    default:
        return 0;
    }
}

int VirtualKeyOf(const QKeyEvent& Event, TScanCodeKind Kind) {
    if (Event.nativeScanCode() != 0) {
        if (const int vk = VirtualKeyFromScanCode(Event.nativeScanCode(), Kind)) return vk;
    }
    return VirtualKeyFromQtKey(Event.key(), Event.modifiers());
}

int VirtualKeyOf(const QKeyEvent& Event) {
    return VirtualKeyOf(Event, CurrentScanCodeKind());
}

} // namespace brindle
