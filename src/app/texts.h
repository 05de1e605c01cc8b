#pragma once

#include <QString>

// The application shell's own texts.
namespace app::text {

// The main window's caption until someone logs in.
inline QString mainCaption() { return QStringLiteral("羽书手札2003.11.29版"); }

// The box a running copy shows when another one was started.
inline QString alreadyRunningCaption() { return QStringLiteral("羽书手札(2003版)"); }
inline QString alreadyRunning()
{
    return QStringLiteral("程序\" Quillbook \"已经运行了。");
}

// Where the skin index is kept in the settings file.
inline QString skinSection() { return QStringLiteral("界面设置"); }
inline QString skinKey() { return QStringLiteral("skin"); }
// In the same section: minutes without input before the diary locks itself; 0 never.
inline QString autoLockKey() { return QStringLiteral("autolock"); }
inline constexpr int kDefaultAutoLockMinutes = 10;
// The list's order: the column (0 date, 1 weather, 2 mood, 3 summary) and 1 for descending.
inline QString listSection() { return QStringLiteral("列表设置"); }
inline QString sortColumnKey() { return QStringLiteral("sortcolumn"); }
inline QString descendingKey() { return QStringLiteral("descending"); }

inline QString helpCaption() { return QStringLiteral("羽书手札 帮助"); }
inline QString helpMissing(const QString &path)
{
    return QStringLiteral("The help document %1 cannot be found").arg(path);
}

} // namespace app::text
