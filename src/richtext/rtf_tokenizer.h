#pragma once

#include <QByteArray>
#include <QByteArrayView>

// Splits RTF bytes into tokens. It knows nothing of destinations or formats, only the lexical
// rules, so that skipped groups and \bin data are walked the same way everywhere.
//
// Rules: a control word is letters, then an optional '-' and digits, and one following space is
// consumed; any other character ends it and stays. "\'hh" must have exactly two hex digits (an
// incomplete escape is dropped). "\\", "\{" and "\}" are one literal byte and come out as text.
// A backslash before CR or LF is \par; a raw TAB byte is \tab. CR, LF and NUL bytes are ignored
// outside \bin data. "\binN" is followed by N raw bytes, bounded by what is left of the input.
// Every call to next() consumes at least one byte until End, so walking the input cannot hang.
namespace richtext {

struct RtfToken {
    enum Kind { End, GroupOpen, GroupClose, ControlWord, ControlSymbol, HexByte, Text, Binary };

    Kind kind = End;
    QByteArrayView word;        // ControlWord: its letters
    bool hasParameter = false;
    int parameter = 0;          // saturated to ±kMaxParameter
    char symbol = 0;            // ControlSymbol: the character after the backslash
    unsigned char byte = 0;     // HexByte
    QByteArrayView data;        // Text and Binary
};

class RtfTokenizer
{
public:
    // Parameters beyond this magnitude are saturated: no control word needs more, and every
    // consumer can add or multiply small factors without overflowing an int.
    static constexpr int kMaxParameter = 999999999;

    explicit RtfTokenizer(QByteArrayView input) : m_input(input) {}

    RtfToken next();

    // Appends to out the text bytes that follow: raw bytes, "\'hh" escapes and "\\", "\{",
    // "\}", skipping CR, LF and NUL; stops before anything else. The same bytes next() would
    // return one token at a time, for the reader's common case of a long run of body text.
    void takeText(QByteArray &out);

    // Skips the bytes that follow up to the next backslash or brace: the text of a group whose
    // text is not wanted (a skipped destination, a picture's hex digits), walked past fast.
    void skipText();

private:
    RtfToken controlSequence();
    RtfToken controlWord();

    QByteArrayView m_input;
    qsizetype m_pos = 0;
};

} // namespace richtext
