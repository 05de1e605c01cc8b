#pragma once

#include "archive/archive_errors.h"
#include "archive/archive_writer.h"
#include "platform/gbk.h"
#include "support/test_support.h"

#include <QBuffer>
#include <QDir>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>

// Shared by the archive tests: a scratch folder, writers with reproducible stamps and seeds, and
// little-endian field access for checking layouts byte by byte.
namespace archive_testing {

inline QString fixedPassword()
{
    return QStringLiteral("qmt90315526hzrp");
}

inline QByteArray g(const char *utf8)
{
    return gbk::encode(QString::fromUtf8(utf8));
}

inline QByteArray randomBytes(int size, quint32 seed)
{
    QByteArray b(size, Qt::Uninitialized);
    QRandomGenerator random(seed);
    for (int i = 0; i < size; ++i)
        b[i] = char(random.bounded(256));
    return b;
}

inline quint32 u32At(const QByteArray &b, qsizetype at)
{
    return quint32(uchar(b[at])) | quint32(uchar(b[at + 1])) << 8 | quint32(uchar(b[at + 2])) << 16
           | quint32(uchar(b[at + 3])) << 24;
}

inline quint16 u16At(const QByteArray &b, qsizetype at)
{
    return quint16(uchar(b[at]) | uchar(b[at + 1]) << 8);
}

inline void put32(QByteArray &b, qsizetype at, quint32 v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = char((v >> (8 * i)) & 0xFF);
}

inline void put16(QByteArray &b, qsizetype at, quint16 v)
{
    b[at] = char(v & 0xFF);
    b[at + 1] = char(v >> 8);
}

// Where the end record starts, for archives without a comment holding its signature.
inline qsizetype endRecordAt(const QByteArray &archive)
{
    return archive.lastIndexOf(QByteArray("PK\x05\x06", 4));
}

inline qsizetype centralDirectoryAt(const QByteArray &archive)
{
    return qsizetype(u32At(archive, endRecordAt(archive) + 16));
}

class ArchiveTest : public ::testing::Test
{
protected:
    QString path(const QString &name = QStringLiteral("张三")) const { return m_dir.filePath(name); }
    QString folder() const { return m_dir.path(); }

    QStringList folderFiles() const
    {
        return testing_support::entriesIn(m_dir.path(), QDir::Files | QDir::Hidden | QDir::System);
    }

    // A writer on the archive with the fixed password, a fixed seed for every encryption header
    // and the real clock.
    std::unique_ptr<TArchiveWriter> writer(const QString &archive)
    {
        auto w = std::make_unique<TArchiveWriter>();
        w->SetZipName(archive);
        w->SetPassword(fixedPassword());
        w->SetSeedSource([] { return 12345u; });
        return w;
    }
    std::unique_ptr<TArchiveWriter> writer() { return writer(path()); }

    static void add(TArchiveWriter &w, const QByteArray &name, const QByteArray &data)
    {
        QByteArray copy = data;
        QBuffer stream(&copy);
        stream.open(QIODevice::ReadOnly);
        w.AddFromStream(name, stream);
    }

    // The entry's bytes through a fresh reader, and how many entries were extracted.
    static QByteArray extract(const QString &archive, const QByteArray &name, int *count = nullptr,
                              const QString &password = fixedPassword())
    {
        TArchiveReader reader;
        reader.SetZipName(archive);
        reader.SetPassword(password);
        QByteArray data;
        const int n = reader.ExtractToBytes(name, data);
        if (count)
            *count = n;
        return data;
    }

    static QList<QByteArray> names(const QString &archive)
    {
        TArchiveReader reader;
        reader.SetZipName(archive);
        reader.OpenArchive();
        QList<QByteArray> list;
        for (int i = 0; i < reader.EntryCount(); ++i)
            list.append(reader.EntryPathBytes(i));
        return list;
    }

    QTemporaryDir m_dir;
};

// The message of the container error that body throws, or "" when it throws none.
template <typename Body>
QString errorOf(Body body)
{
    try {
        body();
    } catch (const Exception &e) {
        return e.message();
    }
    return {};
}

} // namespace archive_testing
