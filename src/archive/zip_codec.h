#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <memory>

struct libdeflate_decompressor;

// Raw Deflate streams (no zlib header or trailer, 32 KiB window): decoded piece by piece through
// zlib, or whole at once through libdeflate; written through zlib.
namespace zip {

// One inflate state, reused from entry to entry. Nothing here throws.
class Inflater
{
public:
    enum Result { More, End, Failed, OutOfMemory };

    Inflater();
    ~Inflater();
    Inflater(const Inflater &) = delete;
    Inflater &operator=(const Inflater &) = delete;

    // Starts a new stream; false when zlib has no memory for its state.
    bool begin();
    // Gives the next piece of input; it must stay in place until consumed.
    void feed(const char *input, qsizetype size);
    bool needsInput() const;
    // Decodes into out (at most capacity bytes); *produced is the number written. End when the
    // stream's last block is complete, More while it goes on, Failed for malformed data or when
    // it cannot go on without input that never came.
    Result step(char *out, qsizetype capacity, qsizetype *produced);

private:
    struct State;
    std::unique_ptr<State> m_state;
};

// A whole stream decoded at once, into a buffer of the size the entry records: several times
// faster than zlib's inflate, for entries small enough to hold whole. Reused from entry to
// entry; nothing here throws.
class WholeInflater
{
public:
    enum Result { Done, TooLarge, Failed, OutOfMemory };

    WholeInflater() = default;
    ~WholeInflater();
    WholeInflater(const WholeInflater &) = delete;
    WholeInflater &operator=(const WholeInflater &) = delete;

    // Decodes the stream in input into out, *produced the number of bytes written. Done when its
    // last block ends within capacity, TooLarge when it would go past capacity, Failed for
    // malformed data or a stream the input ends inside. Bytes after the last block are ignored.
    Result inflate(QByteArrayView input, char *out, qsizetype capacity, qsizetype *produced);

private:
    libdeflate_decompressor *m_decompressor = nullptr;
};

// The data deflated at level (1 to 9) with zlib's standard settings for that level: 15-bit hash
// (memory level 8), default strategy. Throws std::bad_alloc when zlib has no memory.
QByteArray deflateRaw(QByteArrayView data, int level);

// CRC-32 of the ZIP format (reflected 0xEDB88320, initial 0xFFFFFFFF, final complement),
// continued from crc (0 to start).
quint32 crc32(quint32 crc, QByteArrayView data);

} // namespace zip
