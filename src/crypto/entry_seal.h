#pragma once

#include "crypto/secret.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// Sealing and opening the data of one private entry (layout in private_format.h and
// docs/private-format.md): the record is raw-deflated, then encrypted and authenticated with
// the diary key under a fresh random nonce, with the entry's name bound in, so an entry that is
// changed in any byte, or copied or renamed to another name, no longer opens.
namespace entry_seal {

// The stored data of the entry called name (its bytes as the ZIP stores them) holding record.
// key must not be null. Throws ERecordTooLarge for a record over private_format::kMaxRecordSize,
// std::bad_alloc when zlib or the buffers get no memory.
QByteArray seal(const DiaryKey &key, QByteArrayView name, QByteArrayView record);

enum class OpenStatus {
    Opened,
    Malformed,       // shorter than the format byte, nonce and tag
    UnknownFormat,   // a format byte this program does not know
    NotAuthentic,    // changed, under another name, or sealed with another key
    BadDeflate,      // authentic, yet not one complete raw Deflate stream (a faulty writer)
    TooLarge,        // would inflate to more than private_format::kMaxRecordSize
};

struct OpenResult {
    OpenStatus status = OpenStatus::Malformed;
    QByteArray record;   // the record when status is Opened, empty otherwise
};

// The record sealed in payload for the entry called name. Never throws for any payload;
// std::bad_alloc only when memory runs out. key must not be null.
OpenResult open(const DiaryKey &key, QByteArrayView name, QByteArrayView payload);

// The reason, for the list of unreadable entries, why an entry did not open.
QString describe(OpenStatus status);

} // namespace entry_seal
