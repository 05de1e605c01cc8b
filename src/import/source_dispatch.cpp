#include "import/source_dispatch.h"

#include "import/input_file.h"
#include "import/messages.h"
#include "import/readers.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QRegularExpression>

namespace diary_import {

namespace {

QString suffixOf(const QString &path)
{
    return QFileInfo(path).suffix().toLower();
}

bool isPackageSuffix(const QString &suffix)
{
    return suffix == u"zip" || suffix == u"odt" || suffix == u"docx";
}

// Journey names an entry's file by its id: milliseconds since the epoch, "-", 16 letters and
// digits.
bool isJourneyName(const QString &name)
{
    static const QRegularExpression id(QStringLiteral("(^|/)\\d+-[A-Za-z0-9]{16}\\.json$"));
    return id.match(name).hasMatch();
}

// The exports of a package or folder: a document, or the JSON files of Day One or Journey.
Reading readPackage(const Package &package, const QString &path)
{
    const QStringList names = package.names();
    const QDate namedDay = dateOfFileName(QFileInfo(path).fileName());
    const QString suffix = suffixOf(path);
    auto document = [&](const std::optional<OfficeDocument> &doc, const QString &refusal, const QString &format) {
        Reading reading;
        if (!doc) {
            reading.format = format;
            reading.refusal = refusal;
            return reading;
        }
        return readOfficeDocument(*doc, format, namedDay);
    };
    QString refusal;
    if (suffix == u"odt" || names.contains(QStringLiteral("mimetype")) || names.contains(QStringLiteral("content.xml")))
        return document(readOdf(package, &refusal), refusal, import_text::odfDocument());
    if (suffix == u"docx" || names.contains(QStringLiteral("[Content_Types].xml")))
        return document(readDocx(package, &refusal), refusal, import_text::wordDocument());

    QStringList journey;
    QStringList others;
    for (const QString &name : names) {
        if (!name.endsWith(QLatin1String(".json"), Qt::CaseInsensitive) || name.startsWith(QLatin1String("__MACOSX/")))
            continue;
        (isJourneyName(name) ? journey : others).append(name);
    }
    if (!journey.isEmpty() && others.isEmpty())
        return readJourney(package, journey);
    if (!others.isEmpty())
        return readDayOne(package, others);
    Reading reading;
    reading.refusal = import_text::unknownPackage();
    return reading;
}

// A JSON file: which program's export its shape is.
Reading readJson(const QJsonDocument &doc, const QString &path)
{
    const QString name = QFileInfo(path).fileName();
    const Package beside = Package::fromFolder(QFileInfo(path).absolutePath());
    if (doc.isArray() && looksLikeDiarium(doc.array()))
        return readDiarium(doc.array());
    const QJsonObject root = doc.object();
    if (doc.isObject()) {
        if (looksLikeMiniDiary(root))
            return readMiniDiary(root);
        if (looksLikeMiniDiarium(root))
            return readMiniDiarium(root);
        if (looksLikeJrnlJson(root))
            return readJrnlJson(root);
        if (looksLikeDayOneJson(root))
            return readDayOne(beside, {name});
        if (looksLikeJourney(root))
            return readJourney(beside, {name});
    }
    Reading reading;
    reading.refusal = import_text::unknownJson();
    return reading;
}

} // namespace

qint64 readLimitFor(const QString &path)
{
    return isPackageSuffix(suffixOf(path)) ? kMaxPackageSize : kMaxFileSize;
}

std::optional<Reading> readDiaryExport(const QString &path, const QByteArray &bytes, Encoding encoding)
{
    const QString name = QFileInfo(path).fileName();
    const QString suffix = suffixOf(path);
    if (suffix == u"doc" && !bytes.trimmed().startsWith("{\\rtf")) {
        Reading reading;
        reading.refusal = import_text::oldWordDocument();
        return reading;
    }
    if (bytes.startsWith("PK\x03\x04") || bytes.startsWith("PK\x05\x06") || isPackageSuffix(suffix)) {
        Reading reading;
        const std::optional<Package> package = Package::fromZip(bytes, name, &reading.refusal);
        if (!package)
            return reading;
        return readPackage(*package, path);
    }
    const QByteArray head = bytes.left(64).trimmed();
    if (suffix == u"json" || (suffix.isEmpty() && (head.startsWith('{') || head.startsWith('[')))) {
        Reading reading;
        const std::optional<QJsonDocument> doc = parseJson(bytes, name, &reading.refusal);
        if (doc)
            return readJson(*doc, path);
        // A file without a suffix that is no JSON may be a journal whose first line is "[…".
        if (suffix == u"json")
            return reading;
    }
    if (!suffix.isEmpty() && suffix != u"txt" && suffix != u"text")
        return std::nullopt;
    if (isRedNotebookMonthName(name))
        return readRedNotebook(QFileInfo(path).absolutePath());
    if (bytes.contains('\0'))
        return std::nullopt;
    const QString text = decodeText(bytes, encoding);
    if (looksLikeJrnlText(text))
        return readJrnlText(text);
    if (looksLikeDayOneText(text))
        return readDayOneText(text);
    return std::nullopt;
}

Reading readDiaryFolder(const QString &path)
{
    if (isRedNotebookFolder(path))
        return readRedNotebook(path);
    Reading reading = readPackage(Package::fromFolder(path), path);
    if (!reading.refusal.isEmpty() && reading.items.isEmpty() && reading.format.isEmpty())
        reading.refusal = import_text::unknownFolder();
    return reading;
}

} // namespace diary_import
