#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

// Tags: words after "#" (or the full-width "＃") in an entry's plain text, such as #旅行, #家人,
// #读书笔记. Read from the text alone, so every entry ever written, imported or restored has its
// tags at once; nothing about them is stored apart. Qt Core only.
//
// The rule:
// - A tag is "#" or "＃" followed by a run of word characters: letters of any script, digits and
//   combining marks. Anything else ends it: a blank, a line break, punctuation ("，", "。", "!",
//   "-", "_"), a symbol or an emoji.
// - "#" followed by no word character, and a run of digits alone (#2024), is no tag.
// - A "#" directly after a Latin letter or a digit starts no tag (C#, F#, page#part, &#123;),
//   and the "#" that directly ends a tag closes it (the #话题# of some sites): it starts no
//   second tag.
// - A run longer than kMaxTagLength UTF-16 units is text, not a tag.
// Tags are the same tag when their keys (tagKey) are equal: full-width and half-width forms and
// the case of Latin letters do not matter.
namespace tags {

constexpr qsizetype kMaxTagLength = 40;

// Where a tag stands in a text: the "#" at start, then length units of the tag word.
struct TagSpan {
    qsizetype start = 0;    // the index of the "#" or "＃"
    qsizetype length = 0;   // of the word after it
    qsizetype wordStart() const { return start + 1; }
    qsizetype end() const { return start + 1 + length; }
};

// Every tag of the text, in order (for showing them in the editor).
QList<TagSpan> findTags(QStringView text);

// The tags of the text as written, without the "#", each once (the first spelling of each key),
// in the order they first appear.
QStringList tagsIn(QStringView text);

// What tags are compared by: the word in its compatibility form (NFKC), case-folded.
QString tagKey(QStringView tag);

} // namespace tags
