#include "archive/zip_codec.h"

#include <libdeflate.h>
#include <new>
#include <zlib.h>

namespace zip {

namespace {
constexpr int kRawWindowBits = -15;
constexpr int kMemoryLevel = 8;
} // namespace

struct Inflater::State
{
    z_stream z{};
    bool initialised = false;
    bool inputEnded = false;
};

Inflater::Inflater() : m_state(std::make_unique<State>()) {}

Inflater::~Inflater()
{
    if (m_state->initialised)
        inflateEnd(&m_state->z);
}

bool Inflater::begin()
{
    State &s = *m_state;
    s.inputEnded = false;
    // A stream that ended before its input did (bytes after the last block, or an entry left
    // early) leaves input behind that points into a buffer its caller has since freed.
    s.z.next_in = nullptr;
    s.z.avail_in = 0;
    if (s.initialised)
        return inflateReset(&s.z) == Z_OK;
    s.z = z_stream{};
    s.initialised = inflateInit2(&s.z, kRawWindowBits) == Z_OK;
    return s.initialised;
}

void Inflater::feed(const char *input, qsizetype size)
{
    State &s = *m_state;
    s.z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(input));
    s.z.avail_in = uInt(size);
}

bool Inflater::needsInput() const
{
    return m_state->z.avail_in == 0;
}

Inflater::Result Inflater::step(char *out, qsizetype capacity, qsizetype *produced)
{
    z_stream &z = m_state->z;
    z.next_out = reinterpret_cast<Bytef *>(out);
    z.avail_out = uInt(capacity);
    const int rc = inflate(&z, Z_NO_FLUSH);
    *produced = capacity - qsizetype(z.avail_out);
    switch (rc) {
    case Z_STREAM_END:
        return End;
    case Z_OK:
        return More;
    case Z_BUF_ERROR:
        // No progress was possible: more input is needed (or the output is full, which the
        // caller never lets happen with an empty piece).
        return *produced > 0 ? More : (z.avail_in == 0 ? More : Failed);
    case Z_MEM_ERROR:
        return OutOfMemory;
    default:
        return Failed;
    }
}

QByteArray deflateRaw(QByteArrayView data, int level)
{
    z_stream z{};
    if (deflateInit2(&z, level, Z_DEFLATED, kRawWindowBits, kMemoryLevel, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::bad_alloc();
    QByteArray out(qsizetype(deflateBound(&z, uLong(data.size()))), Qt::Uninitialized);
    z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.data()));
    z.avail_in = uInt(data.size());
    z.next_out = reinterpret_cast<Bytef *>(out.data());
    z.avail_out = uInt(out.size());
    const int rc = deflate(&z, Z_FINISH);
    const qsizetype written = qsizetype(z.total_out);
    deflateEnd(&z);
    // deflateBound() guarantees room for the whole stream in one call.
    if (rc != Z_STREAM_END)
        throw std::bad_alloc();
    out.truncate(written);
    return out;
}

WholeInflater::~WholeInflater()
{
    if (m_decompressor)
        libdeflate_free_decompressor(m_decompressor);
}

WholeInflater::Result WholeInflater::inflate(QByteArrayView input, char *out, qsizetype capacity,
                                             qsizetype *produced)
{
    *produced = 0;
    if (!m_decompressor)
        m_decompressor = libdeflate_alloc_decompressor();
    if (!m_decompressor)
        return OutOfMemory;
    size_t written = 0;
    switch (libdeflate_deflate_decompress(m_decompressor, input.data(), size_t(input.size()), out,
                                          size_t(capacity), &written)) {
    case LIBDEFLATE_SUCCESS:
        *produced = qsizetype(written);
        return Done;
    case LIBDEFLATE_INSUFFICIENT_SPACE:
        return TooLarge;
    default:
        return Failed;
    }
}

quint32 crc32(quint32 crc, QByteArrayView data)
{
    return quint32(::crc32_z(uLong(crc), reinterpret_cast<const Bytef *>(data.data()),
                             z_size_t(data.size())));
}

} // namespace zip
