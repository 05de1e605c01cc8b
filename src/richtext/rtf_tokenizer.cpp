#include "rtf_tokenizer.h"

#include <array>

namespace richtext {

namespace {

bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

constexpr std::array<signed char, 256> kHexValues = [] {
    std::array<signed char, 256> values{};
    values.fill(-1);
    for (int i = 0; i < 10; ++i)
        values['0' + i] = static_cast<signed char>(i);
    for (int i = 0; i < 6; ++i) {
        values['a' + i] = static_cast<signed char>(10 + i);
        values['A' + i] = static_cast<signed char>(10 + i);
    }
    return values;
}();

int hexValue(char c)
{
    return kHexValues[static_cast<unsigned char>(c)];
}

// Bytes that end a run of plain text.
bool endsText(char c)
{
    return c == '\\' || c == '{' || c == '}' || c == '\r' || c == '\n' || c == '\0' || c == '\t';
}

RtfToken token(RtfToken::Kind kind)
{
    RtfToken t;
    t.kind = kind;
    return t;
}

constexpr QByteArrayView kPar("par");
constexpr QByteArrayView kTab("tab");
constexpr QByteArrayView kBin("bin");

} // namespace

void RtfTokenizer::skipText()
{
    const char *p = m_input.data() + m_pos;
    const char *const end = m_input.data() + m_input.size();
    while (p < end && *p != '\\' && *p != '{' && *p != '}')
        ++p;
    m_pos = p - m_input.data();
}

RtfToken RtfTokenizer::next()
{
    const qsizetype size = m_input.size();
    while (m_pos < size) {
        const char c = m_input[m_pos];
        switch (c) {
        case '{':
            ++m_pos;
            return token(RtfToken::GroupOpen);
        case '}':
            ++m_pos;
            return token(RtfToken::GroupClose);
        case '\\': {
            RtfToken t = controlSequence();
            if (t.kind != RtfToken::End || m_pos >= size)
                return t;
            continue;   // a dropped escape: go on with what follows it
        }
        case '\r':
        case '\n':
        case '\0':
            ++m_pos;
            continue;
        case '\t': {
            ++m_pos;
            RtfToken t = token(RtfToken::ControlWord);
            t.word = kTab;
            return t;
        }
        default: {
            const qsizetype start = m_pos;
            while (m_pos < size && !endsText(m_input[m_pos]))
                ++m_pos;
            RtfToken t = token(RtfToken::Text);
            t.data = m_input.sliced(start, m_pos - start);
            return t;
        }
        }
    }
    return {};
}

void RtfTokenizer::takeText(QByteArray &out)
{
    const qsizetype size = m_input.size();
    const char *data = m_input.data();
    qsizetype pos = m_pos;
    // The text is never longer than the input it comes from.
    const qsizetype start = out.size();
    out.resize(start + (size - pos));
    char *to = out.data() + start;
    while (pos < size) {
        const char c = data[pos];
        if (c == '\\') {
            if (pos + 1 >= size)
                break;
            const char d = data[pos + 1];
            if (d == '\'') {
                const int hi = pos + 2 < size ? hexValue(data[pos + 2]) : -1;
                const int lo = pos + 3 < size ? hexValue(data[pos + 3]) : -1;
                if (hi < 0 || lo < 0)
                    break;
                *to++ = char(hi * 16 + lo);
                pos += 4;
            } else if (d == '\\' || d == '{' || d == '}') {
                *to++ = d;
                pos += 2;
            } else {
                break;
            }
        } else if (c == '\r' || c == '\n' || c == '\0') {
            ++pos;
        } else if (c == '{' || c == '}' || c == '\t') {
            break;
        } else {
            *to++ = c;
            ++pos;
        }
    }
    out.resize(to - out.constData());
    m_pos = pos;
}

// Called at a backslash. Returns End for an escape that is dropped (the caller goes on).
RtfToken RtfTokenizer::controlSequence()
{
    const qsizetype size = m_input.size();
    ++m_pos;
    if (m_pos >= size)
        return {};
    const char c = m_input[m_pos];
    if (isLetter(c))
        return controlWord();
    ++m_pos;
    switch (c) {
    case '\'': {
        const int hi = m_pos < size ? hexValue(m_input[m_pos]) : -1;
        const int lo = m_pos + 1 < size ? hexValue(m_input[m_pos + 1]) : -1;
        if (hi < 0 || lo < 0)
            return {};
        m_pos += 2;
        RtfToken t = token(RtfToken::HexByte);
        t.byte = static_cast<unsigned char>(hi * 16 + lo);
        return t;
    }
    case '\\':
    case '{':
    case '}': {
        RtfToken t = token(RtfToken::Text);
        t.data = m_input.sliced(m_pos - 1, 1);
        return t;
    }
    case '\r':
    case '\n': {
        RtfToken t = token(RtfToken::ControlWord);
        t.word = kPar;
        return t;
    }
    default: {
        RtfToken t = token(RtfToken::ControlSymbol);
        t.symbol = c;
        return t;
    }
    }
}

RtfToken RtfTokenizer::controlWord()
{
    const qsizetype size = m_input.size();
    const qsizetype start = m_pos;
    while (m_pos < size && isLetter(m_input[m_pos]))
        ++m_pos;
    RtfToken t = token(RtfToken::ControlWord);
    t.word = m_input.sliced(start, m_pos - start);

    bool negative = false;
    if (m_pos + 1 < size && m_input[m_pos] == '-' && isDigit(m_input[m_pos + 1])) {
        negative = true;
        ++m_pos;
    }
    if (m_pos < size && isDigit(m_input[m_pos])) {
        int value = 0;
        while (m_pos < size && isDigit(m_input[m_pos])) {
            const int digit = m_input[m_pos] - '0';
            value = value > (kMaxParameter - digit) / 10 ? kMaxParameter : value * 10 + digit;
            ++m_pos;
        }
        t.hasParameter = true;
        t.parameter = negative ? -value : value;
    }
    if (m_pos < size && m_input[m_pos] == ' ')
        ++m_pos;

    if (t.word == kBin && t.hasParameter) {
        const qsizetype length = qMin<qsizetype>(qMax(t.parameter, 0), size - m_pos);
        RtfToken b = token(RtfToken::Binary);
        b.data = m_input.sliced(m_pos, length);
        m_pos += length;
        return b;
    }
    return t;
}

} // namespace richtext
