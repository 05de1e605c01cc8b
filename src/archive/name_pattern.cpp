#include "archive/name_pattern.h"
#include "archive/zip_records.h"
#include "platform/gbk.h"

#include <utility>
#include <vector>

namespace zip {

namespace {

// One character: a single byte, or lead byte * 256 + trail byte.
using Char = quint16;

std::vector<Char> characters(QByteArrayView bytes)
{
    std::vector<Char> out;
    out.reserve(size_t(bytes.size()));
    for (qsizetype i = 0; i < bytes.size();) {
        const uchar c = uchar(bytes[i]);
        if (gbk::isLeadByte(c) && i + 1 < bytes.size()) {
            out.push_back(Char((c << 8) | uchar(bytes[i + 1])));
            i += 2;
        } else {
            out.push_back(c);
            ++i;
        }
    }
    return out;
}

struct Token
{
    enum Kind { Literal, AnyOne, AnyRun, Set } kind = Literal;
    Char ch = 0;
    bool negated = false;
    std::vector<std::pair<Char, Char>> ranges;

    bool matches(Char c) const
    {
        switch (kind) {
        case Literal:
            return c == ch;
        case AnyOne:
            return true;
        case AnyRun:
            return false;
        case Set:
            break;
        }
        bool inSet = false;
        for (const auto &r : ranges)
            inSet = inSet || (c >= r.first && c <= r.second);
        return inSet != negated;
    }
};

std::vector<Token> tokens(const std::vector<Char> &pattern)
{
    std::vector<Token> out;
    for (size_t i = 0; i < pattern.size(); ++i) {
        Token t;
        const Char c = pattern[i];
        if (c == '*') {
            t.kind = Token::AnyRun;
        } else if (c == '?') {
            t.kind = Token::AnyOne;
        } else if (c == '<') {
            size_t close = i + 1;
            while (close < pattern.size() && pattern[close] != '>')
                ++close;
            if (close == pattern.size()) {
                t.ch = c;
            } else {
                t.kind = Token::Set;
                size_t j = i + 1;
                if (j < close && (pattern[j] == '!' || pattern[j] == '^')) {
                    t.negated = true;
                    ++j;
                }
                for (; j < close; ++j) {
                    if (j + 2 < close && pattern[j + 1] == '-') {
                        t.ranges.emplace_back(pattern[j], pattern[j + 2]);
                        j += 2;
                    } else {
                        t.ranges.emplace_back(pattern[j], pattern[j]);
                    }
                }
                i = close;
            }
        } else {
            t.ch = c;
        }
        out.push_back(std::move(t));
    }
    return out;
}

} // namespace

bool isPlainName(QByteArrayView pattern)
{
    for (char c : pattern) {
        if (c == '*' || c == '?' || c == '<')
            return false;
    }
    return true;
}

bool matchesPattern(QByteArrayView pattern, QByteArrayView name)
{
    const std::vector<Char> p = characters(foldCase(pattern));
    if (p.size() == 1 && p[0] == '*')
        return true;
    const std::vector<Token> tok = tokens(p);
    const std::vector<Char> s = characters(foldCase(name));

    // Greedy matching that backs up to the last "*" on a mismatch: each "*" only ever grows, so
    // the work is bounded by the product of the two lengths.
    size_t ti = 0, si = 0;
    size_t starToken = size_t(-1), starName = 0;
    while (si < s.size()) {
        if (ti < tok.size() && tok[ti].kind == Token::AnyRun) {
            starToken = ti++;
            starName = si;
        } else if (ti < tok.size() && tok[ti].matches(s[si])) {
            ++ti;
            ++si;
        } else if (starToken != size_t(-1)) {
            ti = starToken + 1;
            si = ++starName;
        } else {
            return false;
        }
    }
    while (ti < tok.size() && tok[ti].kind == Token::AnyRun)
        ++ti;
    return ti == tok.size();
}

} // namespace zip
