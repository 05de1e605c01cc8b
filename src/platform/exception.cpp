#include "exception.h"

int StrToInt(const QString &text)
{
    int value = 0;
    if (!TryStrToInt(text, value))
        throw EConvertError(QStringLiteral("'%1' is not a valid integer value").arg(text));
    return value;
}

bool TryStrToInt(const QString &text, int &result)
{
    bool ok = false;
    int value = 0;
    // Leading blanks are tolerated by the conversion routine the program always used;
    // trailing ones are not. Skipped in one go: a line of a million blanks stays cheap.
    qsizetype start = 0;
    while (start < text.size() && text[start] == QLatin1Char(' '))
        ++start;
    const QStringView t = QStringView(text).mid(start);
    if (!t.isEmpty() && !t.front().isSpace() && !t.back().isSpace()) {
        if (t.startsWith(QLatin1Char('$')))
            value = t.mid(1).toInt(&ok, 16);
        else if (t.startsWith(QLatin1String("-$")))
            value = -t.mid(2).toInt(&ok, 16);
        else if (t.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
            value = t.mid(2).toInt(&ok, 16);
        else
            value = t.toInt(&ok, 10);
    }
    if (ok)
        result = value;
    return ok;
}
