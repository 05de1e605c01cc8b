#include "exception.h"

int StrToInt(const QString &text)
{
    bool ok = false;
    int value = 0;
    QString t = text;
    // Leading blanks are tolerated by the conversion routine the program always used;
    // trailing ones are not.
    while (!t.isEmpty() && t.front() == QLatin1Char(' '))
        t.remove(0, 1);
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
    if (!ok)
        throw EConvertError(QStringLiteral("'%1' is not a valid integer value").arg(text));
    return value;
}
