#pragma once

#include <QByteArray>
#include <QList>

// Hand-written RTF in the style of the writers whose files reach the program: the Windows rich
// edit control (version 1 and versions 2/3), a word processor (Word), LibreOffice, pandoc and
// Mac TextEdit.
namespace samples {

QByteArray richEdit1();
QByteArray richEdit2();
QByteArray word();
QByteArray libreOffice();
QByteArray pandoc();
QByteArray textEdit();
QByteArray wordTables();
QByteArray libreOfficeTables();
QByteArray pandocTables();

struct Named {
    const char *name;
    QByteArray bytes;
};
QList<Named> all();

} // namespace samples
