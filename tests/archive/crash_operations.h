#pragma once

#include "archive/archive_writer.h"
#include "platform/gbk.h"

#include <QBuffer>
#include <QDateTime>
#include <QString>

#include <memory>

// The four changes the diary makes to an archive, plus the creation of a new one, exactly as the
// crash-safety tests run them: in the child program (archive_child.cpp), which a test stops at
// every step of the file layer, and in the test itself. Clock and encryption seed are fixed, so
// an operation always writes the same bytes.
namespace crash_ops {

inline QByteArray g(const char *utf8) { return gbk::encode(QString::fromUtf8(utf8)); }

inline const QByteArray kToken("53AbCdEfGhIjK");
inline const QByteArray kNewToken("53ZyXwVuTsRqP");

inline QByteArray largeEntry() { return g("2003年9月1日"); }
inline QByteArray deletedEntry() { return g("2003年9月26日"); }
inline QByteArray changedEntry() { return g("2003年10月5日"); }
inline QByteArray newEntry() { return g("2003年10月6日"); }

inline std::unique_ptr<TArchiveWriter> writer(const QString &archive)
{
    auto w = std::make_unique<TArchiveWriter>();
    w->SetZipName(archive);
    w->SetPassword(QStringLiteral("qmt90315526hzrp"));
    w->SetClock([] { return QDateTime(QDate(2003, 10, 6), QTime(22, 15, 40)); });
    w->SetSeedSource([] { return 20031006u; });
    return w;
}

inline void add(TArchiveWriter &w, const QByteArray &name, const QByteArray &data)
{
    QBuffer stream;
    stream.setData(data);
    stream.open(QIODevice::ReadOnly);
    w.AddFromStream(name, stream);
}

// Runs one operation on the archive: "save" adds a new day, "replace" saves over an existing
// day, "batch" does both in one rewrite keeping a version always (an import), "delete" deletes
// a day, "comment" changes the password token, "create" makes a new user's archive, "add" adds
// the entry named by arg. False for an unknown operation; throws what
// the container throws.
// An operation named "versions:<operation>" runs with the keeping of earlier versions on.
inline bool run(QString operation, const QString &archive, const QByteArray &arg = {})
{
    auto w = writer(archive);
    if (operation.startsWith(QLatin1String("versions:"))) {
        w->SetKeepVersions(true);
        operation = operation.mid(9);
    }
    if (operation == QLatin1String("save")) {
        add(*w, newEntry(), "2\r\n6\r\n" + g("新的一天。"));
    } else if (operation == QLatin1String("replace")) {
        add(*w, changedEntry(), "0\r\n1\r\n" + g("改过了。"));
    } else if (operation == QLatin1String("delete")) {
        w->OpenArchive();
        for (int i = 0; i < w->EntryCount(); ++i)
            w->SelectEntry(i, w->EntryNameBytes(i) == deletedEntry());
        w->DeleteSelected();
    } else if (operation == QLatin1String("comment")) {
        w->OpenArchive();
        w->SetArchiveCommentBytes(kNewToken);
        w->WriteArchive();
    } else if (operation == QLatin1String("create")) {
        w->SetArchiveCommentBytes(kToken);
        w->WriteArchive();
    } else if (operation == QLatin1String("batch")) {
        // An import: days replaced and days added in one rewrite, a version kept whether due
        // or not.
        w->SetKeepVersionAlways(true);
        QByteArray changed = "2\r\n3\r\n" + g("导入的。"), added = "0\r\n4\r\n" + g("新的。");
        QBuffer a(&changed), b(&added);
        a.open(QIODevice::ReadOnly);
        b.open(QIODevice::ReadOnly);
        w->AddFromStreams({{changedEntry(), &a}, {newEntry(), &b}});
    } else if (operation == QLatin1String("add")) {
        add(*w, arg, "1\r\n2\r\n" + arg);
    } else {
        return false;
    }
    return true;
}

} // namespace crash_ops
