// Crash safety of the diary's own operations: restoring entries or a whole version, protecting
// and unprotecting, importing, and a save whose version rotates older ones away, each stopped at
// every step of its file work in a child program. None may lose the diary, a version, or leave a
// copy of the diary in the old format beside a private one; the next rewrite clears what a
// stopped one left behind.

#include "diary_fixture.h"

#include "crypto/private_format.h"
#include "drafts/drafts.h"
#include "versions/kept_versions.h"

#include <QDirIterator>
#include <QFileInfo>
#include <QTimeZone>

#include <gtest/gtest.h>

using namespace diary_testing;

namespace {

// Every file under the diary's folder by its path there, lock files aside.
using State = QMap<QString, QByteArray>;

const QString kDay = QStringLiteral("2003年9月26日");

class DiaryCrashSafety : public ::testing::Test
{
protected:
    QString path() const { return m_dir.filePath(QStringLiteral("张三")); }

    State state() const
    {
        State files;
        QDirIterator it(m_dir.path(), QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString file = it.next();
            if (QFileInfo(file).fileName() != QLatin1String(".quillbook.lock"))
                files.insert(QDir(m_dir.path()).relativeFilePath(file), testing_support::readFile(file));
        }
        return files;
    }
    void put(const State &files) const
    {
        for (const QString &name : QDir(m_dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)) {
            if (!QDir(m_dir.filePath(name)).removeRecursively())
                QFile::remove(m_dir.filePath(name));
        }
        for (auto it = files.cbegin(); it != files.cend(); ++it) {
            QDir().mkpath(QFileInfo(m_dir.filePath(it.key())).path());
            testing_support::writeFile(m_dir.filePath(it.key()), it.value());
        }
    }

    // The diary's entries as "name|text", read with the key when it is private.
    QStringList rows(const DiaryKey &key) const
    {
        TArchiveReader reader;
        reader.SetZipName(path());
        const bool sealed = diary::isPrivateDiary(reader);
        QStringList found{sealed ? QStringLiteral("private") : QStringLiteral("old format")};
        for (const diary::ListRow &row : diary::listEntries(reader, sealed ? &key : nullptr).rows)
            found << row.name + u'|' + row.summary;
        return found;
    }

    // The number of file steps the operation took, or -1 when it did not complete.
    int runChild(const QString &operation, const QString &fault, const QString &argument = {},
                 const DiaryKey *key = nullptr) const
    {
        QStringList args{operation, path(), fault, argument};
        if (key)
            args << QString::fromLatin1(QByteArray(reinterpret_cast<const char *>(key->data()),
                                                   private_format::kKeySize).toHex());
        const testing_support::RunResult r = testing_support::run(QStringLiteral(QB_DIARY_CHILD), args);
        if (r.exitCode != 0 || !r.out.startsWith("done "))
            return -1;
        return r.out.mid(5).trimmed().toInt();
    }

    QTemporaryDir m_dir;
};

} // namespace

TEST_F(DiaryCrashSafety, AStopAtAnyStepOfARestoreConversionImportOrRotationLosesNothing)
{
    // The diary, and two versions of one day ten days ago: the rotation of the next kept version
    // removes the earlier of them, unless a restore reads it.
    writeDiary(path(), {{kDay, ownRecord(0, 0, QStringLiteral("现在的"))},
                        {QStringLiteral("2003年9月27日"), ownRecord(1, 1, QStringLiteral("二"))}});
    const QString versions = QStringLiteral(".versions/张三/");
    const QDateTime tenDaysAgo(QDate::currentDate().addDays(-10), QTime(12, 0), QTimeZone::utc());
    const QString morning = versions + tenDaysAgo.toString(QStringLiteral("yyyyMMdd-HHmmss-zzz"));
    const QString evening = versions + tenDaysAgo.addSecs(60).toString(QStringLiteral("yyyyMMdd-HHmmss-zzz"));
    State base = state();
    for (const auto &[name, text] : {std::pair{morning, QStringLiteral("十天前早上的")}, std::pair{evening, QStringLiteral("十天前晚上的")}}) {
        writeDiary(path(), {{kDay, ownRecord(0, 0, text)}});
        base.insert(name, testing_support::readFile(path()));
    }
    put(base);
    drafts::write(path(), g(kDay), ownRecord(0, 0, QStringLiteral("草稿")), nullptr);
    const State withDraft = state();

    const DiaryKey key = DiaryKey::generate();
    const QString headerFile = m_dir.filePath(QStringLiteral("../header-") + QFileInfo(m_dir.path()).fileName());
    testing_support::writeFile(headerFile, PrivateHeader::create(key, QStringLiteral("pw"),
                                                                 QStringLiteral("01AB-CD23-EFGH-4567-JKMN-89PQ"),
                                                                 private_format::kMinimumKdf).text());
    const auto removeHeader = qScopeGuard([&] { QFile::remove(headerFile); });
    put(base);
    ASSERT_GE(runChild(QStringLiteral("protect"), QStringLiteral("none"), headerFile, &key), 4);
    const State sealed = state();
    const QString importFile = m_dir.filePath(QStringLiteral("../2003-09-26 ") + QFileInfo(m_dir.path()).fileName() + QStringLiteral(".txt"));
    testing_support::writeFile(importFile, "导入的");
    const auto removeImport = qScopeGuard([&] { QFile::remove(importFile); });

    const struct {
        const char *operation;
        State start;
        QString argument;
        bool withKey;
    } operations[] = {
        {"restore-entries", base, m_dir.filePath(morning), false},
        {"restore-whole", base, m_dir.filePath(morning), false},
        {"protect", withDraft, headerFile, true},
        {"unprotect", sealed, {}, true},
        {"import", base, importFile, false},
        {"save", base, {}, false},
    };
    for (const auto &op : operations) {
        SCOPED_TRACE(op.operation);
        const QString operation = QString::fromLatin1(op.operation);
        put(op.start);
        const QStringList before = rows(key);
        const int steps = runChild(operation, QStringLiteral("none"), op.argument, op.withKey ? &key : nullptr);
        ASSERT_GE(steps, 4);
        const QStringList after = rows(key);
        ASSERT_NE(after, before);
        const QSet<QByteArray> whole = [&] {
            QSet<QByteArray> files;
            for (const QByteArray &bytes : op.start)
                files.insert(bytes);
            return files;
        }();

        for (int k = 1; k <= steps; ++k) {
            SCOPED_TRACE(k);
            put(op.start);
            EXPECT_EQ(runChild(operation, QStringLiteral("kill:%1").arg(k), op.argument, op.withKey ? &key : nullptr), -1);
            const QStringList now = rows(key);
            EXPECT_TRUE(now == before || now == after) << now.join(u' ').toStdString();
            const State left = state();
            TArchiveReader reader;
            reader.SetZipName(path());
            const bool isPrivate = diary::isPrivateDiary(reader);
            for (auto it = left.cbegin(); it != left.cend(); ++it) {
                // Kept versions are whole files, each one of the archives there was.
                if (it.key().startsWith(QLatin1String(".versions/"))) {
                    EXPECT_TRUE(whole.contains(it.value())) << it.key().toStdString();
                }
                // Nothing in the old format beside a private diary.
                if (isPrivate && operation == QLatin1String("protect")) {
                    EXPECT_FALSE(it.key().startsWith(QLatin1String(".versions/")) || it.key().startsWith(QLatin1String(".drafts/")))
                        << it.key().toStdString();
                }
            }
            // Rotation waits for the new diary: the version a restore reads, and every other,
            // outlives a stop (a conversion alone takes the old format's copies with it).
            if (operation != QLatin1String("protect")) {
                EXPECT_EQ(left.contains(morning), op.start.contains(morning));
                EXPECT_EQ(left.contains(evening), op.start.contains(evening));
            }
            // The next rewrite clears what the stopped one left.
            EXPECT_GE(runChild(QStringLiteral("touch"), QStringLiteral("none")), 4);
            const QStringList leftovers = QDir(m_dir.path()).entryList({QStringLiteral(".张三.*.tmp")}, QDir::Files | QDir::Hidden);
            EXPECT_EQ(leftovers, QStringList());
        }
    }
}
