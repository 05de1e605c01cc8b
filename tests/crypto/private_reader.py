#!/usr/bin/python3
"""An independent reader and writer of Quillbook's private format, written from
docs/private-format.md alone (PyNaCl for Argon2id and XChaCha20-Poly1305, zlib for Deflate).

    private_reader.py read DIR    unlock DIR/header.txt with DIR/password.txt and with
                                  DIR/recovery.txt, check a wrong password fails, and open
                                  every DIR/entries/N.payload under the name DIR/entries/N.name,
                                  writing the record to DIR/entries/N.record
    private_reader.py write DIR   make a new diary key and header from DIR/password.txt and
                                  DIR/recovery.txt (DIR/out/header.txt), and seal every
                                  DIR/out/N.record under DIR/out/N.name into DIR/out/N.payload
    private_reader.py archive ZIP DIR
                                  open the whole private diary ZIP with DIR/password.txt (the
                                  header is the archive comment, the entries those of method
                                  0x5142) and write entry N's name and record to DIR/N.name and
                                  DIR/N.record, in directory order

Exits 1 with a message on the first disagreement with the document."""

import base64
import os
import re
import sys
import unicodedata
import zipfile
import zlib

import nacl.bindings
import nacl.exceptions
import nacl.pwhash

MAGIC_LINE = b"QUILLBOOK-PRIVATE 1\n"
ENTRY_CONTEXT = b"QUILLBOOK-PRIVATE 1 entry\n"
ALPHABET = "0123456789ABCDEFGHJKMNPQRSTVWXYZ"
MAX_HEADER = 1024
MAX_RECORD = 256 * 1024 * 1024
M_MIN, M_MAX, T_MIN, T_MAX = 8, 1048576, 1, 4


class Disagreement(Exception):
    pass


def b64(data):
    return base64.b64encode(data)


def unb64(text, size):
    try:
        data = base64.b64decode(text, validate=True)
    except ValueError as e:
        raise Disagreement("bad base64 %r: %s" % (text, e))
    if len(data) != size or b64(data) != text:
        raise Disagreement("base64 %r is not %d bytes canonically" % (text, size))
    return data


def decimal(text):
    if not re.fullmatch(rb"0|[1-9][0-9]*", text):
        raise Disagreement("not a decimal: %r" % text)
    return int(text)


LINE = re.compile(
    rb"(password|recovery) argon2id v=19 m=([0-9]+) t=([0-9]+) p=1 salt=([A-Za-z0-9+/=]+)"
    rb" nonce=([A-Za-z0-9+/=]+) key=([A-Za-z0-9+/=]+)")


def parse_header(header):
    if len(header) > MAX_HEADER:
        raise Disagreement("header longer than 1024 bytes")
    if not header.startswith(MAGIC_LINE):
        raise Disagreement("no magic line")
    if not header.endswith(b"\n"):
        raise Disagreement("no final line feed")
    lines = header[len(MAGIC_LINE):-1].split(b"\n")
    if len(lines) != 2:
        raise Disagreement("expected two lines after the magic, got %d" % len(lines))
    wraps = {}
    for label, line in zip((b"password", b"recovery"), lines):
        m = LINE.fullmatch(line)
        if not m or m.group(1) != label:
            raise Disagreement("malformed %s line: %r" % (label, line))
        mem, passes = decimal(m.group(2)), decimal(m.group(3))
        if not (M_MIN <= mem <= M_MAX and T_MIN <= passes <= T_MAX):
            raise Disagreement("parameters out of range")
        wraps[label] = dict(
            m=mem, t=passes, salt=unb64(m.group(4), 16), nonce=unb64(m.group(5), 24),
            key=unb64(m.group(6), 48),
            ad=MAGIC_LINE + line[:line.index(b" nonce=")])
    return wraps


def canonical_code(typed):
    text = unicodedata.normalize("NFKC", typed)
    text = "".join(c for c in text if c not in " \t-").upper()
    text = text.replace("O", "0").replace("I", "1").replace("L", "1")
    if len(text) != 24 or any(c not in ALPHABET for c in text):
        return None
    return text.encode("ascii")


def derive(secret, wrap):
    return nacl.pwhash.argon2id.kdf(32, secret, wrap["salt"], opslimit=wrap["t"],
                                    memlimit=wrap["m"] * 1024)


def unwrap(wrap, secret):
    try:
        key = nacl.bindings.crypto_aead_xchacha20poly1305_ietf_decrypt(
            wrap["key"], wrap["ad"], wrap["nonce"], derive(secret, wrap))
    except nacl.exceptions.CryptoError:
        return None
    if len(key) != 32:
        raise Disagreement("the wrapped key is not 32 bytes")
    return key


def open_entry(key, name, payload):
    if len(payload) < 41 or payload[0] != 1:
        raise Disagreement("payload too short or of another format")
    deflated = nacl.bindings.crypto_aead_xchacha20poly1305_ietf_decrypt(
        payload[25:], ENTRY_CONTEXT + name, payload[1:25], key)
    inflater = zlib.decompressobj(-15)
    record = inflater.decompress(deflated, MAX_RECORD + 1)
    if len(record) > MAX_RECORD or not inflater.eof or inflater.unused_data \
            or inflater.unconsumed_tail:
        raise Disagreement("not one complete raw deflate stream within the limit")
    return record


def seal_entry(key, name, record):
    compressor = zlib.compressobj(9, zlib.DEFLATED, -15, 8, zlib.Z_DEFAULT_STRATEGY)
    deflated = compressor.compress(record) + compressor.flush(zlib.Z_FINISH)
    nonce = os.urandom(24)
    return bytes([1]) + nonce + nacl.bindings.crypto_aead_xchacha20poly1305_ietf_encrypt(
        deflated, ENTRY_CONTEXT + name, nonce, key)


def make_line(label, key, secret, mem, passes):
    salt, nonce = os.urandom(16), os.urandom(24)
    params = label + b" argon2id v=19 m=%d t=%d p=1 salt=" % (mem, passes) + b64(salt)
    wrapping = nacl.pwhash.argon2id.kdf(32, secret, salt, opslimit=passes, memlimit=mem * 1024)
    wrapped = nacl.bindings.crypto_aead_xchacha20poly1305_ietf_encrypt(
        key, MAGIC_LINE + params, nonce, wrapping)
    return params + b" nonce=" + b64(nonce) + b" key=" + b64(wrapped) + b"\n"


def read_text(path):
    with open(path, "rb") as f:
        return f.read()


def entries(folder):
    return sorted(int(n.split(".")[0]) for n in os.listdir(folder) if n.endswith(".name"))


def read(folder):
    wraps = parse_header(read_text(os.path.join(folder, "header.txt")))
    password = read_text(os.path.join(folder, "password.txt"))   # UTF-8 as typed
    code = canonical_code(read_text(os.path.join(folder, "recovery.txt")).decode("utf-8"))
    if code is None:
        raise Disagreement("the recovery code does not normalise")
    key = unwrap(wraps[b"password"], password)
    if key is None:
        raise Disagreement("the password does not unwrap the key")
    if unwrap(wraps[b"recovery"], code) != key:
        raise Disagreement("the recovery code does not unwrap the same key")
    if unwrap(wraps[b"password"], password + b"x") is not None:
        raise Disagreement("a wrong password unwraps a key")
    base = os.path.join(folder, "entries")
    for n in entries(base):
        name = read_text(os.path.join(base, "%d.name" % n))
        record = open_entry(key, name, read_text(os.path.join(base, "%d.payload" % n)))
        with open(os.path.join(base, "%d.record" % n), "wb") as f:
            f.write(record)


def write(folder):
    password = read_text(os.path.join(folder, "password.txt"))
    code = canonical_code(read_text(os.path.join(folder, "recovery.txt")).decode("utf-8"))
    key = os.urandom(32)
    out = os.path.join(folder, "out")
    header = MAGIC_LINE + make_line(b"password", key, password, 16, 2) \
        + make_line(b"recovery", key, code, 8, 1)
    with open(os.path.join(out, "header.txt"), "wb") as f:
        f.write(header)
    for n in entries(out):
        name = read_text(os.path.join(out, "%d.name" % n))
        payload = seal_entry(key, name, read_text(os.path.join(out, "%d.record" % n)))
        with open(os.path.join(out, "%d.payload" % n), "wb") as f:
            f.write(payload)


def read_archive(path, folder):
    password = read_text(os.path.join(folder, "password.txt"))
    with zipfile.ZipFile(path) as z, open(path, "rb") as f:
        key = unwrap(parse_header(z.comment)[b"password"], password)
        if key is None:
            raise Disagreement("the password does not unwrap the key")
        for n, info in enumerate(z.infolist()):
            if info.compress_type != 0x5142 or info.flag_bits & 1:
                raise Disagreement("entry %d: method %d, flags %d" % (n, info.compress_type, info.flag_bits))
            if info.compress_size != info.file_size:
                raise Disagreement("entry %d: the two sizes differ" % n)
            f.seek(info.header_offset)
            local = f.read(30)
            name_length = int.from_bytes(local[26:28], "little")
            extra_length = int.from_bytes(local[28:30], "little")
            name = f.read(name_length)
            f.seek(info.header_offset + 30 + name_length + extra_length)
            payload = f.read(info.compress_size)
            if zlib.crc32(payload) != info.CRC:
                raise Disagreement("entry %d: the CRC is not that of the payload" % n)
            with open(os.path.join(folder, "%d.name" % n), "wb") as out:
                out.write(name)
            with open(os.path.join(folder, "%d.record" % n), "wb") as out:
                out.write(open_entry(key, name, payload))


def main():
    if len(sys.argv) == 4 and sys.argv[1] == "archive":
        try:
            read_archive(sys.argv[2], sys.argv[3])
        except (Disagreement, nacl.exceptions.CryptoError) as e:
            sys.exit("disagreement: %s" % e)
        return
    if len(sys.argv) != 3 or sys.argv[1] not in ("read", "write"):
        sys.exit(__doc__)
    try:
        (read if sys.argv[1] == "read" else write)(sys.argv[2])
    except (Disagreement, nacl.exceptions.CryptoError) as e:
        sys.exit("disagreement: %s" % e)


if __name__ == "__main__":
    main()
