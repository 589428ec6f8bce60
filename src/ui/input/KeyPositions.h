#pragma once
// Virtual-key codes for Qt key events, by the key's position on the keyboard where the platform
// reports it: the note keys then lie under the same fingers on AZERTY, QWERTZ or Dvorak as on a
// US keyboard. The codes are those a US layout gives (65 'A' … 90 'Z', 48 '0' … 57 '9', 188 ',',
// 219 '[' and so on); 0 means the key has none.
#include <QString>
#include <QtGlobal>

class QKeyEvent;

namespace brindle {

// What QKeyEvent::nativeScanCode() holds on a platform.
enum class TScanCodeKind {
    None,      // no usable position (or not one we know): go by the key's character
    XKeycode,  // X11/xcb, Wayland: the evdev code + 8
    PcScanCode // Windows: the PC set-1 scan code, which the evdev codes of the main block equal
};

// The kind of the running platform (QGuiApplication::platformName()).
TScanCodeKind CurrentScanCodeKind();
TScanCodeKind ScanCodeKindOf(const QString& PlatformName);

// The US-layout code of the key at the position ScanCode names; 0 for a position outside the
// table (function keys, arrows, the keypad: keys that do not move between layouts).
int VirtualKeyFromScanCode(quint32 ScanCode, TScanCodeKind Kind);

// The code the key would have on a US layout, from Qt's key (its character); keypad keys get
// the keypad codes, so they never play notes.
int VirtualKeyFromQtKey(int QtKey, Qt::KeyboardModifiers Modifiers);

// By position when the event carries a known scan code, else by Qt's key.
int VirtualKeyOf(const QKeyEvent& Event, TScanCodeKind Kind);
int VirtualKeyOf(const QKeyEvent& Event);

} // namespace brindle
