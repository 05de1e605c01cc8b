#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <cstring>

// Which file an archive path named when it was read: a rewrite puts a new file in place, so the
// identity changes even when the new file has the same size and the same two-second stamp.
struct FileIdentity
{
    quint64 device = 0;
    quint64 inode = 0;
    qint64 size = -1;
    qint64 modifiedNs = 0;

    bool operator==(const FileIdentity &) const = default;
};

// The file's last-write time in local time as an MS-DOS stamp (two-second resolution), repaired.
quint32 dosStampOfFile(qint64 modifiedSeconds);

// The identity of a file from its status.
FileIdentity identityOf(const struct stat &status);

// A file opened read-only for one operation, read through a buffer at absolute positions.
// Reads past the end (or after a read error) return fewer bytes than asked; nothing throws.
// Closed by the destructor.
class ReadStream
{
public:
    // Reads smaller than the buffer are served from it; the default suits header-by-header work,
    // a larger one a pass over the whole file.
    explicit ReadStream(qint64 bufferSize = 8192) : m_bufferSize(bufferSize) {}
    ~ReadStream();
    ReadStream(const ReadStream &) = delete;
    ReadStream &operator=(const ReadStream &) = delete;

    // Opens the file; false with errno in error() when it cannot be opened.
    bool open(const QString &path);
    // Reads bytes held in memory as a file of their size (an archive that was read whole):
    // fd() stays -1, the identity is that of an unnamed file of that size with no stamp.
    void openBytes(const QByteArray &bytes);
    void close();
    bool isOpen() const { return m_fd >= 0 || m_inMemory; }
    // The open file itself, for copies made without reading (-1 when closed or in memory).
    int fd() const { return m_fd; }
    int error() const { return m_error; }
    QString errorString() const;

    // As at open.
    qint64 size() const { return m_identity.size; }
    const FileIdentity &identity() const { return m_identity; }
    quint32 dosStamp() const { return m_dosStamp; }

    qint64 pos() const { return m_pos; }
    void seek(qint64 pos) { m_pos = pos < 0 ? 0 : pos; }
    void skip(qint64 n) { seek(m_pos + n); }

    // Copies up to n bytes from the current position and moves past them.
    qint64 read(void *dst, qint64 n)
    {
        // The common case, inline: a header read whole from the buffer.
        if (n > 0 && m_pos >= m_bufferStart && m_pos + n <= m_bufferStart + m_bufferLength) {
            std::memcpy(dst, m_buffer.constData() + (m_pos - m_bufferStart), size_t(n));
            m_pos += n;
            return n;
        }
        return readThrough(dst, n);
    }
    bool readExact(void *dst, qint64 n) { return read(dst, n) == n; }
    // Up to n bytes (fewer at the end of the file), never more than the file holds.
    QByteArray readBytes(qint64 n);

private:
    qint64 readThrough(void *dst, qint64 n);
    qint64 readAt(qint64 offset, char *dst, qint64 n);

    qint64 m_bufferSize;
    int m_fd = -1;
    bool m_inMemory = false;
    QByteArray m_bytes;            // what openBytes reads
    int m_error = 0;
    FileIdentity m_identity;
    quint32 m_dosStamp = 0;
    qint64 m_pos = 0;
    QByteArray m_buffer;
    qint64 m_bufferStart = 0;
    qint64 m_bufferLength = 0;
};
