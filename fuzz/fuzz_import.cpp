// The input is a file to import. Its first byte picks how it is read (text, Markdown or HTML;
// named by a day or not; the encoding); the rest are its bytes, decoded and divided into dated
// entries. Every entry has a real day; a source is refused or gives entries, never both; a text
// or Markdown source named by a day is one entry of that day. The first line also serves as a file name, whose day
// must be the one it spells.
#include "fuzz_support.h"

#include "import/text_sources.h"

#include <QCoreApplication>

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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const uint8_t mode = data[0];
    const QByteArray bytes = fuzzing::bytesOf(data + 1, size - 1);
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
    return 0;
}
