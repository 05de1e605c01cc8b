#pragma once

#include "sync/diary_copies.h"

#include <QString>

// The texts of the sync folder, as the window and the tool show them.
namespace sync_text {

// When a conflict copy's name says it was made: 「2026年12月7日 09:30」, the day alone when the
// name gives no time.
QString stampText(const syncing::ConflictName &name);

// The bar on the list page: 「发现这本日记在另一台电脑上的副本（2026年12月7日 09:30）：3 篇只在副本里，
// 1 篇两边不同。」 (a count of none is left out).
QString copyNotice(const syncing::CopySummary &summary);
inline const QString kMergeButton = QStringLiteral("合并");
inline const QString kLaterButton = QStringLiteral("以后再说");
// The list page, refilled because the archive changed on disk while it was shown.
inline const QString kChangedElsewhere = QStringLiteral("日记已在另一台电脑上更改，列表已更新");

// What a merge did, one sentence a line; the days named.
QString mergeReportText(const syncing::MergeReport &report);

// Refusals (EMergeRefused), naming the files.
QString privateCopyOfPlainDiary(const QString &copyPath, const QString &diaryPath);
QString otherKey(const QString &copyPath, const QString &diaryPath);
QString needsPassword(const QString &diaryPath);

} // namespace sync_text
