#pragma once

#include <QtGlobal>

// The on-disk layout of a diary archive and the limits the container keeps. All integers are
// little-endian. An archive is, in this order: each entry's local header and data, the central
// directory (one central header per entry, same order), the end record and the archive comment.
namespace zip {

// Local header:
//   offset size field
//        0    4 signature 0x04034B50
//        4    2 version needed to extract (20)
//        6    2 general purpose flags
//        8    2 compression method (0 stored, 8 deflated)
//       10    4 modification stamp: MS-DOS time low 16 bits, MS-DOS date high 16 bits
//       14    4 CRC-32 of the uncompressed data
//       18    4 compressed size (with the 12-byte encryption header of an encrypted entry)
//       22    4 uncompressed size
//       26    2 file name length n
//       28    2 extra field length m
//       30    n file name, then m bytes of extra field, then the entry's data
constexpr quint32 kLocalSignature = 0x04034B50;
constexpr qsizetype kLocalHeaderSize = 30;
constexpr qsizetype kLocalNameLengthAt = 26;

// Central header:
//   offset size field
//        0    4 signature 0x02014B50
//        4    2 version made by (low byte format version, high byte host system, 0 = MS-DOS)
//        6    2 version needed to extract
//        8    2 general purpose flags
//       10    2 compression method
//       12    4 modification stamp
//       16    4 CRC-32
//       20    4 compressed size
//       24    4 uncompressed size
//       28    2 file name length n
//       30    2 extra field length m
//       32    2 file comment length c
//       34    2 disk number start
//       36    2 internal attributes (bit 0: the data is text)
//       38    4 external attributes (0x20: the archive attribute)
//       42    4 offset of the local header from the start of the file
//       46    n file name, m bytes of extra field, c bytes of file comment
constexpr quint32 kCentralSignature = 0x02014B50;
constexpr qsizetype kCentralHeaderSize = 46;
constexpr qsizetype kCentralNameLengthAt = 28;

// End of central directory record:
//   offset size field
//        0    4 signature 0x06054B50
//        4    2 number of this disk
//        6    2 disk on which the central directory starts
//        8    2 central headers on this disk
//       10    2 central headers in total
//       12    4 size of the central directory
//       16    4 offset of the central directory from the start of the file
//       20    2 archive comment length k
//       22    k archive comment
constexpr quint32 kEndSignature = 0x06054B50;
constexpr qsizetype kEndRecordSize = 22;
// The largest comment can push the record this far from the end of the file.
constexpr qsizetype kEndRecordSearch = kEndRecordSize + 0xFFFF;
// A disk number above this marks a record that belongs to no archive we can read.
constexpr quint16 kMaxDiskNumber = 999;

// Zip64 end of central directory locator, right in front of the end record of an archive whose
// counts, sizes or offsets outgrow the end record's fields (those then hold 0xFFFF or 0xFFFFFFFF):
//   offset size field
//        0    4 signature 0x07064B50
//        4    4 disk holding the Zip64 end record
//        8    8 offset of the Zip64 end record
//       16    4 total number of disks
constexpr quint32 kZip64LocatorSignature = 0x07064B50;
constexpr qsizetype kZip64LocatorSize = 20;

// Zip64 end of central directory record, where the locator points:
//   offset size field
//        0    4 signature 0x06064B50
//        4    8 size of the rest of this record (from offset 12)
//       12    2 version made by
//       14    2 version needed to extract
//       16    4 number of this disk
//       20    4 disk on which the central directory starts
//       24    8 central headers on this disk
//       32    8 central headers in total
//       40    8 size of the central directory
//       48    8 offset of the central directory
//       56      extensible data
constexpr quint32 kZip64EndSignature = 0x06064B50;
constexpr qsizetype kZip64EndSize = 56;

// Extra field: blocks of a 2-byte id, a 2-byte length and that many bytes. The Zip64 block
// (id 1) holds, in this order and each only when the header's own field is all ones: the
// uncompressed size (8), the compressed size (8), the local header offset (8), the disk (4).
constexpr quint16 kZip64ExtraId = 0x0001;
constexpr quint32 kZip64Marker32 = 0xFFFFFFFF;
constexpr quint16 kZip64Marker16 = 0xFFFF;

// However many entries the records claim, the reader keeps no more than this many: a directory of
// tiny hostile headers must not make the reader hold millions of records.
constexpr int kMaxReadEntries = 1 << 20;

// Data descriptor that some writers put after an entry's data when flag bit 3 is set: CRC and
// both sizes (12 bytes), preceded by an optional signature 0x08074B50.
constexpr qsizetype kDataDescriptorSize = 16;
constexpr quint32 kDataDescriptorSignature = 0x08074B50;

// General purpose flags.
constexpr quint16 kFlagEncrypted = 0x0001;
constexpr quint16 kFlagMaximumEffort = 0x0002;   // deflated at level 8 or 9
constexpr quint16 kFlagFastEffort = 0x0004;      // deflated at level 1 or 2
constexpr quint16 kFlagDataDescriptor = 0x0008;
constexpr quint16 kFlagStrongEncryption = 0x0040;   // PKWARE strong encryption: not readable here
constexpr quint16 kFlagUtf8Name = 0x0800;           // name (and comment) in UTF-8, not the code page

constexpr quint16 kMethodStored = 0;
constexpr quint16 kMethodDeflated = 8;
// WinZip AES: the entry's real method sits in an extra field, its data is AES-encrypted.
constexpr quint16 kMethodAes = 99;

constexpr quint16 kVersion20 = 20;
constexpr quint32 kArchiveAttribute = 0x20;

// Internal attributes while the text test has not yet run on an entry being written.
constexpr quint16 kTextUnknown = 2;

// The encryption header in front of an encrypted entry's data.
constexpr qsizetype kEncryptionHeaderSize = 12;

// Pieces in which entry data is read, decoded and written.
constexpr qsizetype kPieceSize = 32768;
// The largest deflated entry (compressed and inflated) read whole rather than piece by piece.
constexpr quint64 kWholeEntryLimit = 4 * 1024 * 1024;

// The largest entry the container holds in memory at once. A diary entry is a few KiB; a recorded
// size above this is refused rather than allowed to exhaust memory.
constexpr qint64 kMaxEntrySize = qint64(256) << 20;

// A directory has at most this many entries: the end record counts them in 16 bits.
constexpr int kMaxEntries = 0xFFFF;

// Offsets are 32-bit and the reader rejects a central-directory offset that is negative as a
// signed value, so an archive we write stays below 2 GiB.
constexpr qint64 kMaxArchiveSize = 0x7FFFFFFF;

constexpr int kMaxCommentLength = 0xFFFF;
constexpr int kMaxNameLength = 0xFFFF;

// A self-extracting archive's program part is at least this long; the recovery scan of a ".exe"
// starts behind it.
constexpr qint64 kSelfExtractorStubSize = 14000;

} // namespace zip
