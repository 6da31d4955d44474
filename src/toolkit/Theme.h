#pragma once

#include <QColor>
#include <QPalette>

namespace murmelo::Theme {

// The application's one look: the dark colours the record and playback screens were drawn in.
inline const QColor background{0x15, 0x17, 0x1c}; // behind every screen
inline const QColor surface{0x1f, 0x23, 0x2b};    // rows, cards, input fields
inline const QColor raised{0x34, 0x38, 0x44};     // buttons, row dividers, open panels
inline const QColor text{0xf2, 0xf2, 0xf5};
inline const QColor secondaryText{0xa9, 0xad, 0xb8};
inline const QColor disabledText{0x6b, 0x71, 0x80};
inline const QColor accent{0xe8, 0xa2, 0x3b};    // the playhead, times, the found message
inline const QColor highlight{0x5b, 0x6e, 0xe1}; // selection, the marked menu entry
inline const QColor focusRing{0x8f, 0xc8, 0xff}; // around the control that has the keyboard

// The palette of that look, for widgets that draw from a palette rather than a style sheet.
QPalette palette();

// Gives the whole application the look: standard dialogs (message boxes, the file dialog, the
// music picker) then draw dark like the screens, so the light text that the screens' style
// sheets pass on to a dialog opened over them stays readable. The control that has the keyboard
// is ringed on every screen (KeyboardFocus).
void applyToApplication();

} // namespace murmelo::Theme
