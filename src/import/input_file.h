#pragma once

#include <QByteArray>
#include <QString>

// The one way the import reads a file from the disk: the files and folders chosen, the month
// files of a folder, the pictures beside a file or named by it, and the packages read whole.
// Nothing else in the import opens a file, so that one place decides what may be read.
namespace diary_import {

// A file larger than this is refused unread: ten years of a diary written daily in one export
// stay far below it.
constexpr qint64 kMaxFileSize = qint64(64) << 20;
// A package (a ZIP export with its pictures, an office document) is read whole into memory and
// may be larger, as its pictures are; an export of more than this is refused with that reason.
constexpr qint64 kMaxPackageSize = qint64(1) << 30;

// The whole file at path, when it is a regular file (not a device, a FIFO, a folder or a
// symbolic link: files::readRegularFile) that can be opened and holds at most limit bytes; otherwise
// nothing, and *refusal (import_text) says why. Never throws.
bool readInputFile(const QString &path, qint64 limit, QByteArray *bytes, QString *refusal);

} // namespace diary_import
