#pragma once

#include "rtf_sink.h"

#include <QByteArrayView>

// The RTF reader: walks the tokens with a stack of group states and hands body text and
// paragraph ends to a sink. It takes RTF as the Windows rich edit control, word processors and
// LibreOffice write it: code pages from \ansicpg and the fonts' \fcharset/\cpg (GBK when the
// document names none), \uN with its \ucN fallback, \bin, ignorable and non-text destinations,
// fields (their result is shown), \upr, old-style (\pn) and list-table (\ls) bullets.
namespace richtext {

// Groups nested deeper than this make the bytes unreadable as RTF. Writers nest a few dozen
// levels at most; the cap bounds the state stack on hostile input.
constexpr int kMaxGroupDepth = 1000;

// True when the bytes begin (after blanks) with "{\rtf".
bool looksLikeRtf(QByteArrayView bytes);

// Reads the bytes into the sink. Returns false when they are not readable as RTF: they do not
// begin with "{\rtf", or their groups nest deeper than kMaxGroupDepth; the sink may then have
// received part of the text. Missing closing braces end the document at the end of the bytes;
// anything after the brace that closes the document is ignored.
bool parseRtf(QByteArrayView bytes, RtfSink &sink);

} // namespace richtext
