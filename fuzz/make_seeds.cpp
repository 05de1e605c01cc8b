// Writes the generated part of the fuzzers' seed corpora into <folder>/<target>/: archives made by
// the writer (as the archive tests make them), the RTF samples of the rich-text tests and the
// records the editor saves from them, and settings files and user lists of the kinds the tests
// read. Stamps and encryption seeds are fixed, so the same files come out every time.
#include "../tests/richtext/samples.h"
#include "fuzz_private.h"

#include "archive/archive_writer.h"
#include "crypto/private_header.h"
#include "diary/diary_book.h"
#include "platform/gbk.h"
#include "richtext/rich_text.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTextDocument>

#include <cstdio>

namespace {

QByteArray g(const char *utf8) { return gbk::encode(QString::fromUtf8(utf8)); }

class Corpus
{
public:
    Corpus(const QString &root, const char *target) : m_dir(root + QLatin1Char('/') + QLatin1String(target))
    {
        QDir().mkpath(m_dir);
    }

    // Named by content, so running again adds nothing new.
    void add(const QByteArray &bytes) const
    {
        const QByteArray name = QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toHex();
        QFile file(m_dir + QLatin1Char('/') + QLatin1String(name));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
            std::fprintf(stderr, "make-seeds: cannot write %s\n", qPrintable(file.fileName()));
            std::exit(1);
        }
    }

private:
    QString m_dir;
};

QByteArray readAll(const QString &path)
{
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}

// A writer with a fixed clock and seed on a new archive in the folder.
std::unique_ptr<TArchiveWriter> writerFor(const QString &path, const QByteArray &password)
{
    auto writer = std::make_unique<TArchiveWriter>();
    writer->SetZipName(path);
    writer->SetPasswordBytes(password);
    writer->SetClock([] { return QDateTime(QDate(2003, 10, 5), QTime(21, 30, 8)); });
    quint32 seed = 7;
    writer->SetSeedSource([seed]() mutable { return seed += 11; });
    return writer;
}

void add(TArchiveWriter &writer, const QByteArray &name, const QByteArray &data)
{
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    writer.AddFromStream(name, buffer);
}

void archiveSeeds(const Corpus &corpus, const QByteArray &record)
{
    QTemporaryDir dir;
    const QByteArray password("qmt90315526hzrp");
    const QByteArray token("53ABCDEFGHIJK");
    int n = 0;
    auto next = [&] { return dir.filePath(QString::number(++n)); };

    // A new user's diary: only the comment.
    {
        const QString path = next();
        auto w = writerFor(path, password);
        w->SetArchiveCommentBytes(token);
        w->WriteArchive();
        corpus.add(readAll(path));
    }
    // One saved entry, then a second, a replaced first one and a deleted second one.
    {
        const QString path = next();
        auto w = writerFor(path, password);
        w->SetArchiveCommentBytes(token);
        w->WriteArchive();
        add(*w, g("2003年10月5日"), record);
        corpus.add(readAll(path));
        add(*w, g("2003年9月26日"), "1\r\n3\r\n" + g("今天下雨。"));
        corpus.add(readAll(path));
        add(*w, g("2003年10月5日"), "abc");
        corpus.add(readAll(path));
        w->OpenArchive();
        w->SelectEntry(1, true);
        w->DeleteSelected();
        corpus.add(readAll(path));
    }
    // Without a password (no encryption header) and without compression.
    {
        const QString path = next();
        auto w = writerFor(path, QByteArray());
        add(*w, "plain", record);
        w->SetPackLevel(0);
        add(*w, "stored", "0123456789");
        corpus.add(readAll(path));
    }
}

// Private diaries sealed with the fuzz target's key: empty, with entries, and one converted from
// the old format. Seals take fresh random nonces, so these seeds differ from run to run.
void privateSeeds(const Corpus &corpus, const QByteArray &record)
{
    QTemporaryDir dir;
    const DiaryKey key = fuzzing::privateTestKey();
    const PrivateHeader header = PrivateHeader::create(key, QStringLiteral("pw"),
                                                       QStringLiteral("0000-0000-0000-0000-0000-0000"),
                                                       private_format::kMinimumKdf);
    const QString path = dir.filePath(QStringLiteral("private"));
    TArchiveWriter writer;
    writer.SetZipName(path);
    diary::protectDiary(writer, header, key);
    corpus.add(readAll(path));
    diary::storeEntry(writer, g("2003年10月5日"), record, &key);
    corpus.add(readAll(path));
    diary::storeEntry(writer, g("2003年9月26日"), "1\r\n3\r\n" + g("今天下雨。"), &key);
    corpus.add(readAll(path));

    const QString old = dir.filePath(QStringLiteral("old"));
    auto w = writerFor(old, "qmt90315526hzrp");
    w->SetArchiveCommentBytes("53ABCDEFGHIJK");
    w->WriteArchive();
    add(*w, g("2003年10月5日"), record);
    add(*w, g("2003年10月6日"), "not a record");
    TArchiveWriter converter;
    converter.SetZipName(old);
    diary::protectDiary(converter, header, key);
    corpus.add(readAll(old));
}

void rtfSeeds(const Corpus &corpus, QByteArray *firstRecord)
{
    for (const samples::Named &sample : samples::all()) {
        corpus.add(sample.bytes);
        // What the editor saves of it: the weather and mood lines in front.
        QTextDocument doc;
        richtext::readRtf(sample.bytes, doc);
        const QByteArray record = richtext::SaveRecord(doc, 2, 5);
        corpus.add(record);
        if (firstRecord->isEmpty())
            *firstRecord = record;
    }
    corpus.add("1\r\n3\r\n" + g("今天下雨。") + "\r\n");
}

void settingsSeeds(const Corpus &corpus)
{
    corpus.add("\r\n" + g("[界面设置]") + "\r\nskin=3\r\n");
    corpus.add("\r\n" + g("[ 界面 设置 ]") + "\r\nSkin = 5\r\n");
    corpus.add(g("[界面设置]") + "\r\nskin=\r\n   \r\n\r\nskinny=a=b\r\n[x]\r\nskin=1\r\n"
               + g("[界面设置]") + "\r\nskin=4");
    corpus.add(g("[碅]") + "\r\nskin=1\n" + g("[碼]") + "\nskin=2\n" + g("[界面设置]"));
}

void userListSeeds(const Corpus &corpus)
{
    corpus.add(g("张三") + "\r\n" + g("李四") + "\r\n");
    corpus.add(QByteArray("a\rb\nc\r\n\r\n\n\rd", 13));
    corpus.add(QByteArray("a\r\nb\0c\r\n", 8));
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-seeds <folder>\n");
        return 2;
    }
    const QString root = QString::fromLocal8Bit(argv[1]);
    QByteArray record;
    rtfSeeds(Corpus(root, "rtf"), &record);
    archiveSeeds(Corpus(root, "archive"), record);
    privateSeeds(Corpus(root, "private"), record);
    settingsSeeds(Corpus(root, "settings"));
    userListSeeds(Corpus(root, "user_list"));
    return 0;
}
