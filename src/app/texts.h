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
    return QStringLiteral("羽书手札已经在运行了。");
}

// The status bar's line while the window waits for the diary: reading it (a login, a listing,
// an entry opened), and storing the open entry.
inline QString openingDiary() { return QStringLiteral("正在打开日记…"); }
inline QString savingEntry() { return QStringLiteral("正在保存…"); }

// Where the skin index is kept in the settings file.
inline QString skinSection() { return QStringLiteral("界面设置"); }
inline QString skinKey() { return QStringLiteral("skin"); }
// In the same section: minutes without input before the diary locks itself; 0 never.
inline QString autoLockKey() { return QStringLiteral("autolock"); }
// In the same section: the window's size, place and state at the last close (base64).
inline QString windowPlaceKey() { return QStringLiteral("geometry"); }
inline constexpr int kDefaultAutoLockMinutes = 10;
// On the login page after the diary locked itself.
inline QString lockedWhileIdle() { return QStringLiteral("因长时间未操作，日记已锁定"); }
// The list's order: the column (0 date, 1 weather, 2 mood, 3 summary) and 1 for descending.
inline QString listSection() { return QStringLiteral("列表设置"); }
inline QString sortColumnKey() { return QStringLiteral("sortcolumn"); }
inline QString descendingKey() { return QStringLiteral("descending"); }

inline QString helpCaption() { return QStringLiteral("羽书手札 帮助"); }
inline QString helpMissing(const QString &path)
{
    return QStringLiteral("找不到帮助文档“%1”!").arg(path);
}

// Drafts of unsaved text, offered back at the next login.
inline QString draftCaption() { return QStringLiteral("恢复未保存的内容"); }
// %1 the day's entry name, %2 when the draft was written (local time).
inline QString draftQuestion(const QString &day, const QString &written)
{
    return QStringLiteral("%1 的日记有上次没来得及保存的内容（写于 %2）。\n"
                          "恢复后，它在写日记页打开，照常保存即可；放弃则删去这份内容。")
        .arg(day, written);
}
inline QString draftRestore() { return QStringLiteral("恢复(&R)"); }
inline QString draftDiscard() { return QStringLiteral("放弃(&D)"); }
inline QString draftLater() { return QStringLiteral("以后再说(&L)"); }
// Under the write page after a restore, until the entry is saved.
inline QString draftRestoredUnsaved() { return QStringLiteral("已恢复，尚未保存"); }
// A draft could not be written: the quiet line says so, the typing goes on.
inline QString draftNotWritten(const QString &why) { return QStringLiteral("草稿未能写下：") + why; }
// %1 the count, %2 the folder they were left in.
inline QString draftsUnreadable(int count, const QString &folder)
{
    return QStringLiteral("有 %1 份未保存的内容无法读取（文件损坏，或不是用这本日记的密钥写的），"
                          "已原样留在 %2 中，没有删除。")
        .arg(count)
        .arg(folder);
}

// The kept versions of the diary, from the list page.
inline QString historyCaption() { return QStringLiteral("历史版本"); }
inline QString historyVersions() { return QStringLiteral("保存过的版本："); }
inline QString historyEntries() { return QStringLiteral("这个版本中的日记（只读）："); }
inline QString historyNone() { return QStringLiteral("这本日记还没有保存过的历史版本。"); }
inline QString historyRestoreEntries() { return QStringLiteral("恢复所选日记(&E)"); }
inline QString historyRestoreWhole() { return QStringLiteral("恢复整本日记(&W)"); }
inline QString historyClose() { return QStringLiteral("关闭(&C)"); }
inline QString historyUndoRestore() { return QStringLiteral("撤销恢复(&U)"); }
// %1 the version's date and time; a version kept just before a restore says so.
inline QString historyVersionName(const QString &when, bool beforeRestore = false)
{
    return beforeRestore ? QStringLiteral("%1（恢复之前）").arg(when) : when;
}
inline QString historyConfirmUndo(const QString &when)
{
    return QStringLiteral("撤销 %1 的那次恢复，让日记回到恢复之前的样子吗？\n现在的整本日记会先留作一个历史版本。")
        .arg(when);
}
inline QString historyUndone() { return QStringLiteral("已经撤销恢复，日记回到了恢复之前的样子。"); }
inline QString historyConfirmEntries(int count, const QString &when)
{
    return QStringLiteral("把所选的 %1 篇日记恢复成 %2 的样子吗？\n同一天现在的日记会被替换；现在的整本日记会先留作一个历史版本。")
        .arg(count)
        .arg(when);
}
inline QString historyConfirmWhole(const QString &when)
{
    return QStringLiteral("把整本日记恢复成 %1 的样子吗？\n现在的整本日记会先留作一个历史版本。").arg(when);
}
inline QString historyRestored(int count) { return QStringLiteral("已恢复 %1 篇日记。").arg(count); }
inline QString historyWholeRestored() { return QStringLiteral("整本日记已经恢复。"); }
inline QString historySelectEntries() { return QStringLiteral("请先在这个版本中选择要恢复的日记。"); }
// %1 the entry name, %2 why.
inline QString historyEntryNotRestored(const QString &name, const QString &why)
{
    return QStringLiteral("%1 没有恢复：%2").arg(name, why);
}

} // namespace app::text
