#pragma once

#include <QByteArray>
#include <QStringList>

class QTextDocument;

// The RTF writer: the form the Windows rich edit control streams out on a GBK system, so that
// word processors and the control itself load it with the same text and formats:
//   {\rtf1\ansi\ansicpg936\deff0\deflang1033\deflangfe2052{\fonttbl…}  fonts \fcharset134, names GBK
//   {\colortbl ;…}   \viewkind4\uc1\pard…   text as \'hh\'hh, \uN? where GBK has no character
// Bullets are old-style: {\pntext\fS\'B7\tab}{\*\pn\pnlvlblt\pnfS\pnindent0{\pntxtb\'B7}} with S
// a Symbol font entry (\fcharset2). Each paragraph ends with \par and CR LF.
namespace richtext {

// Writes the document. leadingLines are written first, each as a paragraph of its own, with the
// character and paragraph format of the start of the document (never as list items); the
// document itself is not changed.
QByteArray writeRtfDocument(const QTextDocument &doc, const QStringList &leadingLines = {});

} // namespace richtext
