#pragma once

#include "archive/archive_reader.h"
#include "archive/archive_writer.h"
#include "crypto/private_format.h"
#include "crypto/private_header.h"
#include "diary/diary_book.h"
#include "platform/gbk.h"
#include "support/test_support.h"
#include "versions/kept_versions.h"

#include <QDateTime>
#include <QFile>
#include <QMap>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <optional>
#include <ostream>

// Shared by the sync tests: two computers writing on one diary between two synchronisations,
// each at moments the test sets, as the window writes (a version kept when due and before every
// delete); a private diary with the least Argon2id parameters.
// Readable failures.
inline void PrintTo(const QString &text, std::ostream *out) { *out << '"' << text.toStdString() << '"'; }

namespace sync_testing {

inline QByteArray g(const char *utf8) { return gbk::encode(QString::fromUtf8(utf8)); }
// A record of the older writers' plain text: weather and mood lines, then the body.
inline QByteArray record(const char *utf8) { return "0\r\n1\r\n" + g(utf8); }

inline const QString kPassword = QStringLiteral("秘密 1");
inline const QString kRecoveryCode = QStringLiteral("01AB-CD23-EFGH-4567-JKMN-89PQ");

inline DiaryKey keyNumber(char n)
{
    return DiaryKey::fromBytes(QByteArray(private_format::kKeySize, n));
}

// One computer's writing on its file of the diary.
class Computer
{
public:
    Computer(QString path, QDateTime clock, const DiaryKey *key = nullptr)
        : m_path(std::move(path)), m_clock(std::move(clock)), m_key(key)
    {
    }
    QString path() const { return m_path; }
    void setPath(const QString &path) { m_path = path; }
    QDateTime clock() const { return m_clock; }
    void wait(qint64 seconds) { m_clock = m_clock.addSecs(seconds); }

    void save(const char *day, const char *text)
    {
        auto w = writer();
        ASSERT_EQ(diary::storeEntry(*w, g(day), record(text), m_key), diary::EntryProblem::None);
        wait(60);
    }
    void remove(const char *day)
    {
        auto w = writer();
        TArchiveReader reader;
        reader.SetZipName(m_path);
        diary::deleteEntry(reader, *w, g(day), m_key);
        wait(60);
    }

private:
    std::unique_ptr<TArchiveWriter> writer()
    {
        versions::setClock([clock = m_clock] { return clock.toUTC(); });
        auto w = std::make_unique<TArchiveWriter>();
        w->SetZipName(m_path);
        w->SetKeepVersions(true);
        w->SetClock([clock = m_clock] { return clock; });
        return w;
    }

    QString m_path;
    QDateTime m_clock;
    const DiaryKey *m_key;
};

// The days of a diary: name (UTF-8) -> record.
inline QMap<QString, QByteArray> daysOf(const QString &path, const DiaryKey *key = nullptr)
{
    QMap<QString, QByteArray> days;
    TArchiveReader reader;
    reader.SetZipName(path);
    reader.SetPassword(diary::kArchivePassword);
    reader.OpenArchive();
    QList<QByteArray> names;
    for (int i = 0; i < reader.EntryCount(); ++i)
        names.append(reader.EntryNameBytes(i));
    diary::extractEntries(reader, names, key, [&](qsizetype i, QByteArray rec, diary::EntryProblem problem) {
        days.insert(gbk::decode(names[i]), problem == diary::EntryProblem::None ? rec : QByteArrayLiteral("?"));
    });
    return days;
}

inline QByteArray commentOf(const QString &path)
{
    TArchiveReader reader;
    reader.SetZipName(path);
    reader.OpenArchive();
    return reader.ArchiveCommentBytes();
}

// A new diary at path: the old format with a login token, or private under key and kPassword.
inline void createDiary(const QString &path, const DiaryKey *key = nullptr)
{
    TArchiveWriter w;
    w.SetZipName(path);
    w.SetPassword(diary::kArchivePassword);
    w.SetArchiveCommentBytes("53abcdefghijk");
    w.WriteArchive();
    if (key) {
        const PrivateHeader header =
            PrivateHeader::create(*key, kPassword, kRecoveryCode, private_format::kMinimumKdf);
        diary::protectDiary(w, header, *key);
    }
}

// What a sync program does: the other computer's file, the same bytes and modification time.
inline void syncCopy(const QString &from, const QString &to)
{
    QFile::remove(to);
    ASSERT_TRUE(QFile::copy(from, to));
}

inline QList<QString> names(const QList<QByteArray> &days)
{
    QList<QString> shown;
    for (const QByteArray &day : days)
        shown.append(gbk::decode(day));
    return shown;
}

} // namespace sync_testing
