#pragma once

class QLineEdit;
class QToolButton;

// Several people share the computer the program runs on, so a password is never shown as it is
// typed. makePasswordEdit masks edit and puts an eye button at its right end that shows the text
// only while the button is held down (by the mouse, or by the space key when it has the focus)
// and masks it again as soon as it is let go. Returns the button (objectName "RevealButton").
QToolButton *makePasswordEdit(QLineEdit *edit);
