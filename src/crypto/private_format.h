#pragma once

#include <QByteArrayView>
#include <QtGlobal>

// The private diary format: the numbers a reader and a writer must agree on. The whole layout,
// with the reasons behind it, is written down in docs/private-format.md; a change here is a
// change of the format and needs a new version there.
namespace private_format {

// ---- Archive comment: the private header -------------------------------------------------
//
//   QUILLBOOK-PRIVATE 1 LF
//   password argon2id v=19 m=<KiB> t=<passes> p=1 salt=<b64 16> nonce=<b64 24> key=<b64 48> LF
//   recovery argon2id v=19 m=<KiB> t=<passes> p=1 salt=<b64 16> nonce=<b64 24> key=<b64 48> LF
//
// Base64 is RFC 4648 section 4 ("+", "/", "=" padding). Each "key=" field is the diary key
// sealed with XChaCha20-Poly1305 (IETF) under the key Argon2id derives from the secret, with the
// magic line and its own line up to "salt=…" as associated data.

// Every private header starts with these bytes; the old format's comment (a 13-character DES
// token) never does.
inline constexpr QByteArrayView kMagic = "QUILLBOOK-PRIVATE ";
// The one version this code reads and writes.
inline constexpr int kVersion = 1;
inline constexpr QByteArrayView kMagicLine = "QUILLBOOK-PRIVATE 1\n";
inline constexpr QByteArrayView kPasswordLabel = "password";
inline constexpr QByteArrayView kRecoveryLabel = "recovery";

// A header is three short lines (about 380 bytes); anything longer is refused before parsing so
// a hostile comment cannot make the parser work on 64 KiB.
inline constexpr qsizetype kMaxHeaderSize = 1024;

inline constexpr qsizetype kKeySize = 32;          // the diary key and every derived key
inline constexpr qsizetype kSaltSize = 16;         // crypto_pwhash_SALTBYTES
inline constexpr qsizetype kNonceSize = 24;        // crypto_aead_xchacha20poly1305_ietf_NPUBBYTES
inline constexpr qsizetype kTagSize = 16;          // crypto_aead_xchacha20poly1305_ietf_ABYTES
inline constexpr qsizetype kWrappedKeySize = kKeySize + kTagSize;

// ---- Argon2id parameters -----------------------------------------------------------------

// Argon2id version 0x13 with one lane, as libsodium's crypto_pwhash_ALG_ARGON2ID13 computes it.
struct KdfParams {
    quint32 memoryKiB = 0;   // Argon2 "m": memory in KiB (libsodium's memlimit is 1024 times this)
    quint32 passes = 0;      // Argon2 "t": passes over that memory (libsodium's opslimit)

    friend bool operator==(const KdfParams &, const KdfParams &) = default;
};

// What new diaries and changed passwords get: libsodium's "moderate" setting, 256 MiB and three
// passes, which takes about half a second here (bench/crypto_bench). A login derives once;
// creating a diary derives twice (the password and the recovery code).
inline constexpr KdfParams kDefaultKdf{262144, 3};
// The least libsodium accepts: crypto_pwhash_MEMLIMIT_MIN (8 KiB) and OPSLIMIT_MIN (1). Only
// tests use it, to stay fast.
inline constexpr KdfParams kMinimumKdf{8, 1};
// The most a header may ask for: libsodium's "sensitive" setting, 1 GiB and four passes, room
// for stronger diaries later. A hostile or damaged header cannot make a login allocate more or
// run longer than that (about three and a half seconds of processor time here).
inline constexpr KdfParams kMaximumKdf{1048576, 4};

// ---- Entries -----------------------------------------------------------------------------
//
// An entry's stored data (its "payload"):
//   offset  size    field
//        0     1    format, kEntryFormat
//        1    24    nonce, random for every seal
//       25   n+16   XChaCha20-Poly1305 (IETF) ciphertext and tag of the raw-deflated record
// Associated data: kEntryContext followed by the entry's name bytes as stored in the ZIP.

inline constexpr quint8 kEntryFormat = 1;
inline constexpr QByteArrayView kEntryContext = "QUILLBOOK-PRIVATE 1 entry\n";
inline constexpr qsizetype kPayloadOverhead = 1 + kNonceSize + kTagSize;
// The largest record a payload may inflate to: the archive's largest entry (256 MiB), so every
// entry the old format can hold converts, and a payload can never make a reader allocate more.
inline constexpr qint64 kMaxRecordSize = qint64(256) << 20;
// Deflate settings of the sealed records: raw stream, level 9, zlib's default memory level and
// strategy, as the archive deflates its entries.
inline constexpr int kDeflateLevel = 9;

// ---- ZIP fields of a private entry ---------------------------------------------------------

// The compression method of every private entry, in both its local and central headers. The
// ZIP application note assigns 0 to 20 and 93 to 99; 0x5142 ("BQ" as stored, little-endian) is
// far from both, so every other tool lists the entry and refuses it as an unsupported method
// (Info-ZIP unzip: "unsupported compression method 20802"; Python's zipfile: NotImplementedError),
// and the old format's reader, which knows only 0 and 8, never mistakes it.
inline constexpr quint16 kPrivateMethod = 0x5142;
// General-purpose flag bit 0 (traditional encryption) stays clear: the payload is not
// traditionally encrypted, and a tool that saw the bit would ask for a password it cannot use.
// CRC-32 is that of the payload bytes; compressed and uncompressed sizes are both the payload's.

} // namespace private_format
