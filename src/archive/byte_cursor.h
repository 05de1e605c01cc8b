#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QtGlobal>

#include <cstring>

// Reads little-endian fields from a byte range and checks every step before it moves. A failed
// step (reading past the end, a negative length, seeking outside the range) makes the cursor fail
// for good: every later read gives zero and ok() stays false, so a parser can read a whole record
// and test ok() once at its end.
//
// The cursor never owns the bytes; they must outlive it.
class ByteCursor
{
public:
    ByteCursor(const uchar *data, qsizetype size) : m_data(data), m_size(size < 0 ? 0 : size) {}
    explicit ByteCursor(QByteArrayView bytes)
        : ByteCursor(reinterpret_cast<const uchar *>(bytes.data()), bytes.size()) {}

    bool ok() const { return m_ok; }
    qsizetype pos() const { return m_pos; }
    qsizetype size() const { return m_size; }
    qsizetype remaining() const { return m_ok ? m_size - m_pos : 0; }

    // The next n bytes, or nullptr (and the cursor fails) when fewer remain.
    const uchar *take(qsizetype n)
    {
        if (!m_ok || n < 0 || n > m_size - m_pos) {
            m_ok = false;
            return nullptr;
        }
        const uchar *p = m_data + m_pos;
        m_pos += n;
        return p;
    }

    void skip(qsizetype n) { take(n); }

    void seek(qsizetype pos)
    {
        if (!m_ok || pos < 0 || pos > m_size)
            m_ok = false;
        else
            m_pos = pos;
    }

    quint8 u8()
    {
        const uchar *p = take(1);
        return p ? p[0] : 0;
    }

    quint16 u16()
    {
        const uchar *p = take(2);
        return p ? quint16(p[0] | (p[1] << 8)) : 0;
    }

    quint32 u32()
    {
        const uchar *p = take(4);
        return p ? quint32(p[0]) | (quint32(p[1]) << 8) | (quint32(p[2]) << 16) | (quint32(p[3]) << 24)
                 : 0;
    }

private:
    const uchar *m_data;
    qsizetype m_size;
    qsizetype m_pos = 0;
    bool m_ok = true;
};

// Appends little-endian fields to a byte array.
class ByteWriter
{
public:
    // Appends exactly size bytes to out, filled by the calls that follow; the caller knows the
    // record's length in advance, so the array grows once instead of field by field.
    ByteWriter(QByteArray &out, qsizetype size)
    {
        const qsizetype at = out.size();
        out.resize(at + size);
        m_at = reinterpret_cast<uchar *>(out.data()) + at;
        m_end = m_at + size;
    }
    // Fills size bytes at out.
    ByteWriter(uchar *out, qsizetype size) : m_at(out), m_end(out + size) {}
    ~ByteWriter() { Q_ASSERT(m_at == m_end); }
    ByteWriter(const ByteWriter &) = delete;
    ByteWriter &operator=(const ByteWriter &) = delete;

    void u16(quint16 v)
    {
        Q_ASSERT(m_end - m_at >= 2);
        m_at[0] = uchar(v & 0xFF);
        m_at[1] = uchar(v >> 8);
        m_at += 2;
    }

    void u32(quint32 v)
    {
        Q_ASSERT(m_end - m_at >= 4);
        m_at[0] = uchar(v & 0xFF);
        m_at[1] = uchar((v >> 8) & 0xFF);
        m_at[2] = uchar((v >> 16) & 0xFF);
        m_at[3] = uchar(v >> 24);
        m_at += 4;
    }

    void bytes(QByteArrayView b)
    {
        Q_ASSERT(m_end - m_at >= b.size());
        if (b.size() > 0)
            std::memcpy(m_at, b.data(), size_t(b.size()));
        m_at += b.size();
    }

private:
    uchar *m_at;
    uchar *m_end;
};
