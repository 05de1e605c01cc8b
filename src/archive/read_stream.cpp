#include "archive/read_stream.h"
#include "archive/zip_records.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

FileIdentity identityOf(const struct stat &st)
{
    FileIdentity id;
    id.device = quint64(st.st_dev);
    id.inode = quint64(st.st_ino);
    id.size = qint64(st.st_size);
    id.modifiedNs = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return id;
}

quint32 dosStampOfFile(qint64 modifiedSeconds)
{
    const time_t t = time_t(modifiedSeconds);
    struct tm local;
    if (!::localtime_r(&t, &local))
        return zip::dosStamp(1980, 1, 1, 0, 0, 0);
    return zip::dosStamp(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                         local.tm_min, local.tm_sec);
}

ReadStream::~ReadStream()
{
    close();
}

bool ReadStream::open(const QString &path)
{
    close();
    int fd;
    do {
        fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        m_error = errno;
        return false;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        m_error = errno;
        ::close(fd);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        m_error = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        ::close(fd);
        return false;
    }
    m_fd = fd;
    m_error = 0;
    m_identity = identityOf(st);
    m_dosStamp = dosStampOfFile(st.st_mtim.tv_sec);
    m_pos = 0;
    m_bufferLength = 0;
    return true;
}

void ReadStream::openBytes(const QByteArray &bytes)
{
    close();
    m_inMemory = true;
    m_bytes = bytes;
    m_error = 0;
    m_identity = FileIdentity();
    m_identity.size = bytes.size();
    m_dosStamp = 0;
    m_pos = 0;
}

void ReadStream::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_inMemory = false;
    m_bytes.clear();
    m_bufferLength = 0;
}

QString ReadStream::errorString() const
{
    return QString::fromLocal8Bit(std::strerror(m_error));
}

qint64 ReadStream::readAt(qint64 offset, char *dst, qint64 n)
{
    if (m_inMemory) {
        const qint64 got = qBound<qint64>(0, m_bytes.size() - offset, n);
        if (got > 0)
            std::memcpy(dst, m_bytes.constData() + offset, size_t(got));
        return got;
    }
    qint64 done = 0;
    while (done < n) {
        const ssize_t got = ::pread(m_fd, dst + done, size_t(n - done), off_t(offset + done));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            m_error = errno;
            break;
        }
        if (got == 0)
            break;
        done += got;
    }
    return done;
}

qint64 ReadStream::readThrough(void *dst, qint64 n)
{
    if (!isOpen() || n <= 0)
        return 0;
    char *out = static_cast<char *>(dst);
    qint64 done = 0;
    // Whatever of the request the buffer already holds.
    if (m_pos >= m_bufferStart && m_pos < m_bufferStart + m_bufferLength) {
        const qint64 avail = m_bufferStart + m_bufferLength - m_pos;
        const qint64 chunk = qMin(avail, n);
        std::memcpy(out, m_buffer.constData() + (m_pos - m_bufferStart), size_t(chunk));
        done = chunk;
        m_pos += chunk;
    }
    if (done == n)
        return done;
    const qint64 rest = n - done;
    if (rest >= m_bufferSize) {
        const qint64 got = readAt(m_pos, out + done, rest);
        m_pos += got;
        return done + got;
    }
    if (m_buffer.size() < m_bufferSize)
        m_buffer.resize(m_bufferSize);
    m_bufferStart = m_pos;
    m_bufferLength = readAt(m_pos, m_buffer.data(), m_bufferSize);
    const qint64 chunk = qMin(m_bufferLength, rest);
    std::memcpy(out + done, m_buffer.constData(), size_t(chunk));
    m_pos += chunk;
    return done + chunk;
}

QByteArray ReadStream::readBytes(qint64 n)
{
    const qint64 avail = qMax<qint64>(0, size() - m_pos);
    const qint64 want = qMin(n, avail);
    if (want <= 0)
        return {};
    QByteArray bytes(want, Qt::Uninitialized);
    bytes.truncate(read(bytes.data(), want));
    return bytes;
}
