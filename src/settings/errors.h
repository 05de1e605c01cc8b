#pragma once

#include <QString>

// Texts of the settings file's input/output errors (raised as EInOutError). The reason comes
// first, as the system words it, then the file it concerns.
namespace ini::text {

inline QString fileNotFound() { return QStringLiteral("File not found"); }
inline QString pathNotFound() { return QStringLiteral("Path not found"); }
inline QString accessDenied() { return QStringLiteral("File access denied"); }
inline QString diskFull() { return QStringLiteral("Disk full"); }
inline QString symbolicLink() { return QStringLiteral("Symbolic link not written through"); }
inline QString inUse() { return QStringLiteral("File in use by another program; try again later"); }
inline QString ioError(int code) { return QStringLiteral("I/O error %1").arg(code); }

// "File access denied (/home/ann/.config/quillbook/main.ini)"
inline QString onFile(const QString &reason, const QString &path)
{
    return QStringLiteral("%1 (%2)").arg(reason, path);
}

} // namespace ini::text
