#pragma once

#include <QString>

// Texts of the settings file's input/output errors (raised as EInOutError): what went wrong
// with which file, in the window's language.
namespace ini::text {

inline QString fileNotFound() { return QStringLiteral("找不到文件"); }
inline QString pathNotFound() { return QStringLiteral("找不到文件所在的文件夹"); }
inline QString accessDenied() { return QStringLiteral("没有权限读写文件"); }
inline QString diskFull() { return QStringLiteral("磁盘已满"); }
inline QString symbolicLink() { return QStringLiteral("文件是符号链接，不经它写入"); }
inline QString inUse() { return QStringLiteral("文件正被另一个程序使用，请稍后再试"); }
inline QString ioError(int code) { return QStringLiteral("读写错误 %1").arg(code); }

// 「设置文件“/home/ann/.config/quillbook/main.ini”：没有权限读写文件!」 (ending with "!", the
// error box adds no full stop).
inline QString onFile(const QString &reason, const QString &path)
{
    return QStringLiteral("设置文件“%2”：%1!").arg(reason, path);
}

} // namespace ini::text
