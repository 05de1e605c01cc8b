#include "skin_package.h"
#include "errors.h"

#include <QColor>
#include <QFile>
#include <QHash>
#include <QRegularExpression>

namespace skin {

namespace {

using Values = QHash<QString, QString>;

Values parseValues(const QByteArray &bytes)
{
    Values values;
    const QStringList lines = QString::fromUtf8(bytes).split(QLatin1Char('\n'));
    for (const QString &raw : lines) {
        const QString line = raw.trimmed();
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')) || eq <= 0)
            continue;
        values.insert(line.left(eq).trimmed(), line.mid(eq + 1).trimmed());
    }
    return values;
}

QString valueOf(const Values &values, const QString &name)
{
    const auto it = values.constFind(name);
    if (it == values.constEnd() || it->isEmpty())
        throw ESkinPackageError(text::missingValue(name));
    return *it;
}

QColor colourOf(const Values &values, const char *name)
{
    const QString key = QLatin1String(name);
    const QString value = valueOf(values, key);
    const QColor colour = QColor::fromString(value);
    if (!colour.isValid())
        throw ESkinPackageError(text::badColour(key, value));
    return colour;
}

QPalette paletteOf(const Values &values)
{
    QPalette palette(colourOf(values, "Button"), colourOf(values, "Window"));
    const struct {
        QPalette::ColorRole role;
        const char *name;
    } roles[] = {
        {QPalette::WindowText, "WindowText"}, {QPalette::ButtonText, "ButtonText"},
        {QPalette::Base, "Base"},             {QPalette::AlternateBase, "Page"},
        {QPalette::Text, "Text"},             {QPalette::Highlight, "Highlight"},
        {QPalette::HighlightedText, "HighlightedText"},
        {QPalette::ToolTipBase, "Base"},      {QPalette::ToolTipText, "Text"},
    };
    for (const auto &r : roles)
        palette.setColor(r.role, colourOf(values, r.name));
    const QColor disabled = colourOf(values, "Disabled");
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::ButtonText, QPalette::Text})
        palette.setColor(QPalette::Disabled, role, disabled);
    return palette;
}

QString fillTemplate(const QString &styleTemplate, const Values &values)
{
    static const QRegularExpression placeholder(QStringLiteral("@([A-Za-z]+)@"));
    QString sheet;
    qsizetype done = 0;
    for (auto it = placeholder.globalMatch(styleTemplate); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        sheet += QStringView(styleTemplate).mid(done, m.capturedStart() - done);
        sheet += valueOf(values, m.captured(1));
        done = m.capturedEnd();
    }
    sheet += QStringView(styleTemplate).mid(done);
    return sheet;
}

} // namespace

SkinPackage decodePackage(const QByteArray &bytes, const QString &styleTemplate)
{
    const Values values = parseValues(bytes);
    SkinPackage package;
    package.version = values.value(QStringLiteral("Version")).toInt();
    if (package.version != kFormatVersion)
        return package;
    package.name = values.value(QStringLiteral("Name"));
    package.palette = paletteOf(values);
    package.styleSheet = fillTemplate(styleTemplate, values);
    return package;
}

QString styleTemplate()
{
    QFile file(QStringLiteral(":/skins/skin.qss"));
    if (!file.open(QIODevice::ReadOnly))
        throw ESkinPackageError(text::missingTemplate());
    return QString::fromUtf8(file.readAll());
}

} // namespace skin
