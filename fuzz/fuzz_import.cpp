// The input is a file to import. Its first byte picks how it is read; the rest are its bytes.
//
// Below 0x80 (the text sources): text, Markdown or HTML, named by a day or not, in an encoding;
// decoded and divided into dated entries. Every entry has a real day; a source is refused or
// gives entries, never both; a text or Markdown source named by a day is one entry of that day.
// The first line also serves as a file name, whose day must be the one it spells.
//
// From 0x80 (other diary programs' exports and office documents): bits 0-2 choose the form (a
// JSON export, a ZIP package, a jrnl journal, Day One's text export, a RedNotebook month file,
// an .odt, a .docx, txt2tags), read by the import's readers and made into entries. A refused
// source gives nothing else; the entries have real days, one entry a day in date order, indices
// inside their tables; every item read is either assembled or skipped.
#include "fuzz_support.h"

#include "import/entry_assembly.h"
#include "import/readers.h"
#include "import/source_dispatch.h"
#include "import/text_sources.h"

#include <QGuiApplication>
#include <QTextDocument>

namespace {

void check(const diary_import::Split &split, const QDate &namedDay)
{
    if (split.refusal.isEmpty() == split.entries.isEmpty())
        fuzzing::fail("a source is refused or gives entries, never both nor neither");
    for (const diary_import::SourceEntry &entry : split.entries) {
        if (!entry.date.isValid())
            fuzzing::fail("an entry without a real day");
        if (entry.weather < -1 || entry.weather > 3 || entry.mood < -1 || entry.mood > 7)
            fuzzing::fail("an index outside its table");
    }
    if (namedDay.isValid() && (split.entries.size() != 1 || split.entries[0].date != namedDay))
        fuzzing::fail("a source named by a day is one entry of that day");
}

void textSource(uint8_t mode, const QByteArray &bytes)
{
    const auto encoding = diary_import::Encoding((mode >> 3) % 3);
    const QString text = diary_import::decodeText(bytes, encoding);

    const QString firstLine = text.section(u'\n', 0, 0).left(64);
    const QDate named = diary_import::dateOfFileName(firstLine);
    if (named.isValid() && (named.year() < 1000 || !firstLine.startsWith(QString::number(named.year()))))
        fuzzing::fail("a file name's day is not the one it spells");

    const QDate day = (mode & 4) ? QDate(2003, 9, 26) : QDate();
    switch (mode & 3) {
    case 0:
        check(diary_import::splitText(text, diary_import::SourceKind::Text, day), day);
        break;
    case 1:
        check(diary_import::splitText(text, diary_import::SourceKind::Markdown, day), day);
        break;
    default:
        // HTML's own articles name their days, whatever the file is called.
        check(diary_import::splitHtml(text, day), QDate());
        break;
    }
}

void checkReading(const diary_import::Reading &reading)
{
    if (!reading.refusal.isEmpty()) {
        if (!reading.items.isEmpty() || !reading.skipped.isEmpty())
            fuzzing::fail("a refused source gives entries");
        return;
    }
    const std::optional<diary_import::Assembled> assembled = diary_import::assemble(reading, QStringLiteral("fuzz"));
    if (!assembled)
        fuzzing::fail("assembling stopped on its own");
    QDate previous;
    for (const diary_import::Entry &entry : assembled->entries) {
        if (!entry.date.isValid() || (previous.isValid() && entry.date <= previous))
            fuzzing::fail("entries are one a day, in date order, on real days");
        if (entry.weather < -1 || entry.weather > 3 || entry.mood < -1 || entry.mood > 7)
            fuzzing::fail("an index outside its table");
        previous = entry.date;
    }
    const qsizetype skippedHere = assembled->skipped.size() - reading.skipped.size();
    if (assembled->summary.items + skippedHere != reading.items.size()
        || assembled->summary.days != assembled->entries.size())
        fuzzing::fail("an item is neither assembled nor skipped");
}

void programSource(uint8_t mode, const QByteArray &bytes)
{
    // A folder that does not exist: nothing beside the input is ever read.
    const QString folder = QStringLiteral("/nonexistent-quillbook-fuzz/");
    static const char *const names[] = {"export.json", "export.zip", "journal.txt", "Journal.txt",
                                        "2019-01.txt", "2003-09-26.odt", "document.docx", "notes.t2t"};
    const QString name = QLatin1String(names[mode & 7]);
    if (name == u"2019-01.txt") {
        diary_import::Reading reading;
        if (!diary_import::readRedNotebookMonth(bytes, name, reading) && reading.refusal.isEmpty())
            fuzzing::fail("a month file refused without a reason");
        if (reading.refusal.isEmpty())
            checkReading(reading);
        return;
    }
    if (name == u"notes.t2t") {
        QStringList pictures;
        QTextDocument doc;
        doc.setHtml(diary_import::txt2tagsToHtml(QString::fromUtf8(bytes), &pictures));
        return;
    }
    const std::optional<diary_import::Reading> reading =
        diary_import::readDiaryExport(folder + name, bytes, diary_import::Encoding::Auto);
    if (reading)
        checkReading(*reading);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Documents need the application object; it lives as long as the process.
    static QGuiApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const uint8_t mode = data[0];
    const QByteArray bytes = fuzzing::bytesOf(data + 1, size - 1);
    if (mode & 0x80)
        programSource(mode, bytes);
    else
        textSource(mode, bytes);
    return 0;
}
