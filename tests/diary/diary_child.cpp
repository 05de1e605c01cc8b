// A separate program for the crash-safety tests of the diary's own operations: runs one of them
// with the file layer's fault injection armed, so that a test can stop it at any step.
//
//   diary_child <operation> <archive> <none | kill:k> [argument] [key, hex]
//
// Operations: restore-entries VERSION (the day 2003年9月26日), restore-whole VERSION,
// protect HEADER-FILE KEY, unprotect KEY, import FILE, save (a new day with versions kept: the
// rotation), touch (a rewrite that changes nothing). Prints "done <steps>" and exits 0 when the
// operation completed; prints the error and exits 1 when it threw.

#include "archive/archive_writer.h"
#include "crypto/private_header.h"
#include "diary/diary_book.h"
#include "diary/entry_restore.h"
#include "import/importer.h"
#include "platform/exception.h"
#include "platform/files.h"
#include "platform/gbk.h"

#include <QFile>
#include <QGuiApplication>

#include <cstdio>

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    if (argc < 4) {
        std::fprintf(stderr, "usage: diary_child <operation> <archive> <fault> [argument] [key]\n");
        return 2;
    }
    const QString operation = QString::fromUtf8(argv[1]);
    const QString argument = argc > 4 ? QString::fromUtf8(argv[4]) : QString();
    const DiaryKey key = argc > 5 ? DiaryKey::fromBytes(QByteArray::fromHex(argv[5])) : DiaryKey();
    const QByteArray fault(argv[3]);
    TArchiveWriter writer;
    writer.SetZipName(QString::fromUtf8(argv[2]));
    writer.SetClock([] { return QDateTime(QDate(2003, 10, 6), QTime(22, 15, 40)); });
    writer.SetSeedSource([] { return 20031006u; });
    const QByteArray day = gbk::encode(QStringLiteral("2003年9月26日"));

    if (fault.startsWith("kill:"))
        files::FileFaults::arm(files::FileFaults::KillAt, fault.mid(5).toInt());
    else
        files::FileFaults::arm(files::FileFaults::Off, 0);
    try {
        if (operation == QLatin1String("restore-entries")) {
            diary::restoreEntries(argument, writer, {day});
        } else if (operation == QLatin1String("restore-whole")) {
            diary::restoreWhole(argument, writer);
        } else if (operation == QLatin1String("protect")) {
            QFile header(argument);
            header.open(QIODevice::ReadOnly);
            diary::protectDiary(writer, PrivateHeader::parse(header.readAll()), key);
        } else if (operation == QLatin1String("unprotect")) {
            diary::unprotectDiary(writer, key, "53abcdefghijk");
        } else if (operation == QLatin1String("import")) {
            const std::optional<diary_import::Plan> plan = diary_import::readFiles({argument}, diary_import::Encoding::Auto);
            diary_import::apply(*plan, writer, diary_import::Existing::Replace);
        } else if (operation == QLatin1String("save")) {
            writer.SetKeepVersions(true);
            diary::storeEntry(writer, gbk::encode(QStringLiteral("2003年10月6日")), "0\r\n0\r\nnew day");
        } else if (operation == QLatin1String("touch")) {
            writer.OpenArchive();
            writer.WriteArchive();
        } else {
            std::fprintf(stderr, "unknown operation\n");
            return 2;
        }
    } catch (const Exception &e) {
        std::printf("%s\n", e.what());
        return 1;
    }
    std::printf("done %d\n", files::FileFaults::stepsTaken());
    return 0;
}
