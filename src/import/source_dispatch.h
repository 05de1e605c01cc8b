#pragma once

#include "import/source_reader.h"

#include <optional>

// The one place that decides which reader reads a file or folder: by its name, its first bytes
// and, for JSON, the shape of its document. Never throws for what the files hold.
namespace diary_import {

// How many bytes of the file at path may be read: kMaxPackageSize for a ZIP package's suffix
// (.zip, .odt, .docx), kMaxFileSize otherwise.
qint64 readLimitFor(const QString &path);

// The reading of a file of another diary program, or of an office document:
//   .zip (any ZIP's bytes)  Day One's JSON export, Journey's export, an ODF or Word document
//   .odt, .docx             the document (a file named by a day is one entry of that day)
//   .json                   jrnl, Day One (photos beside it), Mini Diary, Mini Diarium,
//                           Diarium, Journey (one entry, photos beside it)
//   text                    a jrnl journal, Day One's text export, a RedNotebook month file
//                           ("2019-01.txt": its whole folder is read)
//   .doc                    refused: only .docx is read
// Nothing for any other file (text, Markdown, RTF and HTML files are read by readSource).
std::optional<Reading> readDiaryExport(const QString &path, const QByteArray &bytes, Encoding encoding);

// A folder: RedNotebook's data folder, or an unpacked Day One or Journey export; a refusal
// (import_text::unknownFolder) for any other.
Reading readDiaryFolder(const QString &path);

} // namespace diary_import
