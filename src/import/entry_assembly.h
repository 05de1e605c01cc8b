#pragma once

#include "import/importer.h"
#include "import/source_reader.h"

#include <functional>

class QTextDocument;
#include <optional>

// Another program's entries made into the diary's: one entry a day, its pictures its own.
// Needs a QGuiApplication (documents); never throws for what the items hold.
namespace diary_import {

struct Assembled {
    QList<Entry> entries;        // in date order, one per day
    SourceSummary summary;       // the reading's format, with what was assembled
    QList<SkippedItem> skipped;  // the reading's skipped items, and those assembly skipped
};

// The items of a reading (read from path) as entries. An entry of one item: its title as the
// first line in bold, then its body, its notes, and its tags as "#tag" words in the last line.
// Several items on one day become one entry, in time order (the source's order where times are
// equal or missing), each part under a bold heading of its time (「23:38」) and title, then its
// body and notes, an empty line between parts; the tags of all of them close the entry. The day
// takes the first weather and mood given; a part whose weather or mood differs keeps its own as
// a note. A picture that is no image skips its item (listed in skipped). keepGoing is asked
// between items; nothing when it says stop.
std::optional<Assembled> assemble(const Reading &reading, const QString &path,
                                  const std::function<bool()> &keepGoing = {});

// The addition's content after doc's, from a new paragraph on (in doc's one paragraph when doc
// has none yet), with the addition's paragraph and character formats; a list it begins with
// stays a list, of doc's own.
void appendDocument(QTextDocument &doc, const QTextDocument &addition);

// The tags as the last line of an entry: "#旅行 #家人", each once, blanks inside a tag as "_",
// the marks a tag came with (@, #, ＃) dropped. Empty when there are none.
QString tagLine(const QStringList &tags);

} // namespace diary_import
