#pragma once

#include <QString>
#include <QtGlobal>

// The largest record one diary entry may hold: its two index lines and its RTF, pictures
// included (a picture takes about twice its file's size as RTF hex). Ten years of daily entries
// with a photograph now and then stay far below it; a record beyond it would make every listing,
// search and export of the diary slow and large (a document of millions of paragraphs takes
// minutes and gigabytes to lay out). Checked where a record is made or stored: every save and
// import (diary::storeEntry, diary::storeEntries), the readers of imported files (which stop at
// it instead of building the whole document first), a paste into the editor, and the shell
// tool's add. Entries already stored larger are still read.
//
// Header only: the shell tool's archive commands use it without the diary book.
namespace diary_limits {

inline constexpr qint64 kMaxRecordSize = qint64(16) << 20;

// The error text: %1 what is too large (an entry's name, a file's path).
inline QString recordTooLarge(const QString &what)
{
    return QStringLiteral("%1 太长了：一篇日记连同图片最多 %2 MB，没有存入!")
        .arg(what)
        .arg(kMaxRecordSize >> 20);
}

// A paste that alone would be more than an entry may hold.
inline QString pasteTooLarge()
{
    return QStringLiteral("粘贴的内容太长了：一篇日记连同图片最多 %1 MB，没有粘贴!").arg(kMaxRecordSize >> 20);
}

} // namespace diary_limits
