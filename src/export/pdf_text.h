#pragma once

#include <QByteArray>
#include <QChar>
#include <QList>
#include <QPainterPath>
#include <QString>

class QTextDocument;

// The text a PDF written by Qt's PDF engine gives back to readers (pdftotext, search, copying).
//
// Qt tells readers which characters each glyph of an embedded font stands for through the font's
// ToUnicode map, and it builds that map from the font's own character map: for each glyph the
// lowest code point the font maps to it. CJK fonts such as Noto Sans CJK and Source Han draw a
// Kangxi radical (⽉ U+2F49) and the CJK radical supplement's forms (⻓ U+2ED3) with the very
// glyph of the ideograph (月 U+6708, 长 U+957F); those radicals have the lower code points, so
// every 月 and 日 of the page reads back as ⽉ and ⽇. The mend below gives each such glyph the
// ideograph again. A radical really written in the text reads back as its ideograph too: with
// those fonts the two are the same glyph, and the ideograph is by far the likelier character.
//
// The same map covers only code points below U+10000: a glyph drawn for a character beyond them
// (😀, 𠀀) has no entry, and readers drop it. Which character such a glyph stands for is found
// by its outline: the embedded font's glyph is compared with the glyphs the laid-out document
// drew for its characters beyond U+FFFF, and a glyph of the same outline gets that character.
namespace diary_export {

// A character beyond U+FFFF as a laid-out document draws it: the outline of one of its glyphs in
// the font the layout chose for it, at a size of its own.
struct DrawnCharacter {
    QString text;
    QPainterPath outline;
};

// Those characters of the document's laid-out blocks, one for each glyph and font they are
// drawn with.
QList<DrawnCharacter> drawnBeyondBmp(const QTextDocument &document);

// The unified ideograph a radical of the Kangxi radicals (U+2F00–U+2FD5) or CJK radicals
// supplement (U+2E80–U+2EF3) block stands for; the character itself for every other one and for
// supplement forms without an ideograph of their own.
QChar ideographOfRadical(QChar c);

// The PDF with every ToUnicode map corrected as above: each destination string of a bfchar or
// bfrange entry has its radicals replaced (a range with one destination that covers a radical is
// written as a range with an array of destinations), and the cross-reference table and
// startxref are rebuilt for the new object lengths. Only what Qt writes is understood (a
// classic cross-reference table, ToUnicode streams without a filter and with a direct /Length);
// a PDF or a map of another form, or one that needs no change, comes back byte for byte. Each
// glyph without an entry whose outline is one of drawn's gets an entry for its character.
QByteArray mendToUnicode(const QByteArray &pdf, const QList<DrawnCharacter> &drawn = {});

// Reads the file, mends it, and puts the result in place with one atomic rename when anything
// changed. False when the file could not be read or replaced (it is then as it was).
bool mendToUnicodeFile(const QString &path, const QList<DrawnCharacter> &drawn = {});

} // namespace diary_export
