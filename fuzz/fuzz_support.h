#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>

// What the fuzz targets share: a private scratch folder in memory for the targets whose input is
// a file, and writing the input there.
namespace fuzzing {

// A folder of this process's own under /dev/shm (or the system's temporary folder where there is
// no /dev/shm), created on first use and removed when the process ends normally.
QString scratchFolder();

// Replaces the file's content with the bytes; aborts when that is impossible, since every later
// result would be meaningless.
void writeFile(const QString &path, const uint8_t *data, size_t size);

inline QByteArray bytesOf(const uint8_t *data, size_t size)
{
    return QByteArray(reinterpret_cast<const char *>(data), qsizetype(size));
}

// Ends the run as a crash, with the reason, when a property every input must keep is broken.
[[noreturn]] void fail(const char *what);

} // namespace fuzzing
