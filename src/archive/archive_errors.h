#pragma once

#include "platform/exception.h"

#include <QLatin1String>
#include <QString>

// The errors of the archive container. Each class carries only its message; the texts below are
// the container's own and are shown to the user as they stand.

// A file of 1 to 21 bytes, or one without a valid end record in its last 65 557 bytes.
class EIncompleteZip : public Exception { using Exception::Exception; };
// A directory that cannot be read, even after the retry and the recovery scan.
class EBadZipFile : public Exception { using Exception::Exception; };
// A file that is not an archive, when the component is told to say so.
class ENotAZipFile : public Exception { using Exception::Exception; };
// The file ends before a stored entry's data (or an entry being carried over) is complete.
class EFatalUnzipError : public Exception { using Exception::Exception; };
// The caller's stream took fewer bytes than it was given.
class ECantWriteUCF : public Exception { using Exception::Exception; };
// The new archive could not be written because the disk (or the user's quota) is full.
class ENotEnoughRoom : public Exception { using Exception::Exception; };
// A file that cannot be opened for reading, or created for writing.
class EFOpenError : public EInOutError { using EInOutError::EInOutError; };
class EFCreateError : public EInOutError { using EInOutError::EInOutError; };
// An index outside the directory, or a second entry of the same name in a lookup list.
class EListError : public Exception { using Exception::Exception; };
// Something beyond what one archive or one entry may hold (see zip_layout.h for the limits).
class EArchiveLimit : public Exception { using Exception::Exception; };
// A write to an archive whose directory disagrees with its end record (or whose entries overlap or
// lie outside the file, or an entry lacks its local header): rewriting it would drop or garble
// the entries the reader could not place.
class EInconsistentZip : public Exception { using Exception::Exception; };
// A change aimed at a name that more than one entry of the archive carries (letter case aside).
class EAmbiguousEntry : public Exception { using Exception::Exception; };
// A raw entry (TArchiveWriter::NewEntry::rawMethod) of a method the reader itself decodes.
class ERawMethod : public Exception { using Exception::Exception; };

namespace archive_text {

inline constexpr QLatin1String kIncompleteZip("Incomplete Zip File");
inline constexpr QLatin1String kBadZipFile("Not a valid zip file!");
inline constexpr QLatin1String kNotAZipFile("Not a valid zip file!");
inline constexpr QLatin1String kPrematureEnd("Premature end of file reached");
// Why an entry whose decoding ran past its recorded size was left out.
inline constexpr QLatin1String kBiggerThanUncompressed("File is larger than uncompressed size!");
inline constexpr QLatin1String kCantWriteUCF("Cant write uncompressed file");
inline constexpr QLatin1String kNotEnoughRoom("Not enough room to write archive");
inline constexpr QLatin1String kDuplicateObject("Duplicate Object index");
// %1 the index.
inline constexpr QLatin1String kIndexOutOfRange("Index %1 is out of range");
// %1 the path, %2 the system's reason.
inline constexpr QLatin1String kCannotOpen("Cannot open file \"%1\". %2");
inline constexpr QLatin1String kCannotCreate("Cannot create file \"%1\". %2");
inline constexpr QLatin1String kCannotWrite("Cannot write file \"%1\". %2");
// Another program holds the archive's folder lock longer than the lock waits (EFileInUse).
inline constexpr QLatin1String kInUse("The diary is in use by another program; try again later");
// A writer that cannot take the folder lock: %1 the lock file, %2 the system's reason.
inline constexpr QLatin1String kCannotLock("Cannot lock the diary's folder with \"%1\". %2");

// The box shown for an entry of a compression method the container cannot decode.
inline constexpr QLatin1String kZipErrorCaption("Zip Error");
inline constexpr QLatin1String kUnknownMethod("Unknown Compression Method");
// The box shown when zlib has no memory for an entry's decoding state.
inline constexpr QLatin1String kErrorCaption("Error");
inline constexpr QLatin1String kInflateOutOfMemory("*** inflate out of memory ***");

// %1 the entry name, %2 its recorded size, %3 the limit.
inline constexpr QLatin1String kEntryTooLarge(
    "The entry \"%1\" is too large: %2 bytes, more than the %3 bytes one entry may hold");
inline constexpr QLatin1String kTooManyEntries("An archive cannot hold more than 65535 entries");
inline constexpr QLatin1String kArchiveTooLarge("The archive would grow beyond 2 GiB");
// %1 the entry name.
inline constexpr QLatin1String kCannotReadEntry("Cannot read the data for the entry \"%1\"");
inline constexpr QLatin1String kNameTooLong("The entry name is longer than 65535 bytes");
inline constexpr QLatin1String kCommentTooLong("The archive comment is longer than 65535 bytes");
inline constexpr QLatin1String kCommentInvalid(
    "The archive comment may not hold a zero byte or the bytes of an end record signature");

// %1 what disagrees (one of the texts below). Shown when a write is refused.
inline constexpr QLatin1String kInconsistentZip(
    "The archive's directory does not agree with the file (%1); it is left as it is, "
    "so that no entry is lost");
// %1 the count in the end record, %2 the headers found.
inline constexpr QLatin1String kCountDiffers("the end record counts %1 entries, the directory holds %2");
// %1 the size in the end record, %2 the size found.
inline constexpr QLatin1String kSizeDiffers("the end record gives the directory %1 bytes, it has %2");
// %1 where the directory starts by the end record, %2 where the end record itself is.
inline constexpr QLatin1String kDirectoryMisplaced(
    "the directory at offset %1 does not end where the end record starts, at offset %2");
inline constexpr QLatin1String kCommentNotAtEnd("the archive comment does not reach the end of the file");
inline constexpr QLatin1String kZip64Damaged("the Zip64 end record is missing or damaged");
inline constexpr QLatin1String kTooManyToRead("the directory holds more entries than can be read");
inline constexpr QLatin1String kRecovered("the directory could not be read and was rebuilt from the entries");
// %1 the entry name.
inline constexpr QLatin1String kEntryOutsideFile("the entry \"%1\" lies outside the file");
// %1 and %2 the entry names.
inline constexpr QLatin1String kEntriesOverlap("the entries \"%1\" and \"%2\" overlap");
// %1 the entry name.
inline constexpr QLatin1String kEntryOverlapsDirectory("the entry \"%1\" runs into the directory");
// %1 the entry name.
inline constexpr QLatin1String kExtraMissing("the entry \"%1\" declares an extra field that is not there");
// %1 the entry name.
inline constexpr QLatin1String kEntryRunsOver("the entry \"%1\" runs into the next entry or the directory");
// %1 the entry name.
inline constexpr QLatin1String kLocalHeaderMissing("the entry \"%1\" has no local header where the directory says");

inline constexpr QLatin1String kZip64NotWritable(
    "The archive is in the Zip64 format, which can be read here but not rewritten");
// %1 the name.
inline constexpr QLatin1String kAmbiguousEntry(
    "More than one entry of the archive is named \"%1\" (letter case aside); it cannot be changed "
    "by that name");

// %1 the entry name, %2 the method.
inline constexpr QLatin1String kRawMethodInvalid(
    "The entry \"%1\" cannot be stored as given under method %2: that method is decoded on reading");

} // namespace archive_text
