#pragma once

#include "import/text_sources.h"

#include <QByteArray>
#include <QDate>
#include <QHash>
#include <QJsonDocument>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTime>

#include <optional>
#include <utility>

// What every reader of another diary program's files gives: the entries as that program kept
// them (items), several of which may fall on one day, before they become the diary's entries
// (entry_assembly.h). A reader never throws for what its input holds: a source it cannot read
// gives a refusal, an entry it cannot read is skipped with its reason, and nothing else of the
// source is lost for it.
namespace diary_import {

// One entry as another diary program kept it.
struct Item {
    enum class Markup { Plain, Markdown, Html };

    QDate date;                  // the day it belongs to, where it was written
    QTime time;                  // invalid when the source gives the day only
    QString title;               // becomes the entry's first line (the part's heading), bold
    Markup markup = Markup::Plain;
    QString text;                // the body; a diary program's Markdown ends a paragraph at
                                 // each line end, as its editor does
    // The pictures the body shows, by the name it gives them (a Markdown link, an HTML src):
    // the picture file's bytes. data: URIs carry their own.
    QHash<QString, QByteArray> pictures;
    QStringList tags;            // without their mark (@, #); written #tag at the end of the entry
    bool starred = false;        // written as the tag kStarredTag
    int weather = -1;            // index in the diary's word tables; -1 none
    int mood = -1;
    QStringList notes;           // lines after the body for what the boxes cannot hold
    QString place;               // how a message names the entry (import_text::itemPlace)
};

// The tag a starred or favourite entry gets.
inline QString starredTag() { return QStringLiteral("星标"); }

// An entry of a source that is not imported, and why.
struct SkippedItem {
    QString place;
    QString reason;
};

// What a reader gives for one source.
struct Reading {
    QString format;              // the program's export as the summary names it (import_text)
    QList<Item> items;
    QList<SkippedItem> skipped;
    QString refusal;             // the whole source is refused: nothing of it is imported
    QString covers;              // a folder the reading took whole (RedNotebook's data folder):
                                 // its other files given too are not read again
};

// The weather index of a word another program writes for the weather ("Mostly Sunny", "小雨",
// "Snow Showers"), only where it plainly is one of ours (晴 阴 雨 雪); -1 otherwise, and for
// words that fall between two ("Partly Cloudy", "雨夹雪").
int weatherOfWords(const QString &words);

// A note keeping a weather the box cannot hold whole: 「天气：Partly Cloudy，23°C」; empty when
// both parts are.
QString weatherNote(const QString &description, const QString &temperature);

// A Markdown text whose every line end, outside fenced code and between table rows, ends a
// paragraph, as the diary programs' editors write it.
QString paragraphsAtLineEnds(const QString &markdown);



// The JSON document of bytes; nothing, with *refusal naming the file and the line and column
// where it breaks (import_text::badJson), when they are no JSON.
std::optional<QJsonDocument> parseJson(const QByteArray &bytes, const QString &fileName, QString *refusal);

// The line and column (both from 1, the column in characters) of a byte offset in UTF-8 text.
std::pair<int, int> lineAndColumn(const QByteArray &utf8, qsizetype offset);

} // namespace diary_import
