#pragma once

#include <QByteArray>
#include <QPalette>
#include <QString>

namespace skin {

// The format version every package of this engine carries.
constexpr int kFormatVersion = 20000;

// One skin as the engine uses it: the palette and the style sheet it gives every window.
//
// Package bytes: UTF-8 lines "Name=value", ";" starting a comment line. "Version" comes first;
// the colours (Window, WindowText, Page, Group, GroupBorder, Button, ButtonText, ButtonBorder,
// ButtonHover, Disabled, Base, Text, Highlight, HighlightedText, Bar) are colour names Qt
// understands ("#rrggbb"); the style template's @Name@ placeholders take the package's values.
struct SkinPackage {
    int version = 0;
    QString name;
    QPalette palette;
    QString styleSheet;
};

// Decodes a package against the style template. A package of another version is returned with
// only its version set. Throws ESkinPackageError when a value the palette or the template needs
// is missing or a colour is malformed.
SkinPackage decodePackage(const QByteArray &bytes, const QString &styleTemplate);

// The engine's style sheet template, shared by every skin.
QString styleTemplate();

} // namespace skin
