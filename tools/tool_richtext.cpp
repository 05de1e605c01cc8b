// quillbook-tool commands on RTF files: the plain text of the paragraphs, and the document as
// the editor would show it (HTML). Both print UTF-8.

#include "commands.h"

#include "platform/exception.h"
#include "richtext/rich_text.h"

#include <QFile>
#include <QTextDocument>

namespace {

QByteArray readInput(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw EInOutError(QStringLiteral("Cannot open %1: %2").arg(path, file.errorString()));
    return file.readAll();
}

int usageError(const QString &usage)
{
    toolError(QStringLiteral("usage: quillbook-tool ") + usage);
    return 2;
}

int rtfText(const ToolContext &, const QStringList &args)
{
    if (args.size() != 1)
        return usageError(QStringLiteral("rtf-text FILE"));
    QString out;
    for (const QString &paragraph : richtext::rtfParagraphs(readInput(args[0]))) {
        out += paragraph;
        out += QLatin1Char('\n');
    }
    out.replace(QChar(QChar::LineSeparator), QLatin1Char('\n'));
    toolWrite(out.toUtf8());
    return 0;
}

int rtfHtml(const ToolContext &, const QStringList &args)
{
    if (args.size() != 1)
        return usageError(QStringLiteral("rtf-html FILE"));
    QTextDocument doc;
    richtext::readRtf(readInput(args[0]), doc);
    toolWrite(doc.toHtml().toUtf8());
    return 0;
}

} // namespace

QList<ToolCommand> richTextCommands()
{
    return {
        {QStringLiteral("rtf-text"), QStringLiteral("rtf-text FILE"), rtfText},
        {QStringLiteral("rtf-html"), QStringLiteral("rtf-html FILE"), rtfHtml},
    };
}
