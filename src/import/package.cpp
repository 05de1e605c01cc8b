#include "import/package.h"

#include "archive/archive_errors.h"
#include "archive/archive_reader.h"
#include "archive/zip_layout.h"
#include "import/input_file.h"
#include "import/messages.h"

#include <QDir>
#include <QFileInfo>
#include <QStringDecoder>

namespace diary_import {

namespace {

// A name as the program that wrote the ZIP meant it: UTF-8 when flagged so, and also when its
// bytes are valid UTF-8 that is not plain ASCII (as Info-ZIP and macOS write names without the
// flag); otherwise as the reader decodes it.
QString nameOf(TArchiveReader &reader, int index)
{
    QString name = reader.EntryPathText(index);
    if (!reader.Entry(index).hasUtf8Name()) {
        const QByteArray bytes = reader.EntryPathBytes(index);
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString decoded = utf8.decode(bytes);
        if (!utf8.hasError())
            name = decoded;
    }
    name.replace(u'\\', u'/');
    return name;
}

bool climbsOut(const QString &name)
{
    if (name.isEmpty() || name.startsWith(u'/'))
        return true;
    for (const QStringView part : QStringView(name).split(u'/')) {
        if (part == u"..")
            return true;
    }
    return false;
}

QString reasonOf(ExtractFailure failure)
{
    switch (failure) {
    case ExtractFailure::WrongPassword:
    case ExtractFailure::UnsupportedEncryption:
        return import_text::encryptedInZip();
    case ExtractFailure::UnknownMethod:
        return import_text::unknownMethodInZip();
    case ExtractFailure::CrcMismatch:
    case ExtractFailure::LargerThanRecorded:
        break;
    }
    return import_text::damagedInZip();
}

} // namespace

std::optional<Package> Package::fromZip(const QByteArray &bytes, const QString &path, QString *refusal)
{
    Package package;
    package.m_zip = std::make_shared<TArchiveReader>();
    TArchiveReader &reader = *package.m_zip;
    reader.SetIncompleteZipMode(TIncompleteZipMode::izAssumeNotAZip);
    reader.SetZipImage(bytes, path);
    // The container's errors are this file's refusal here, not an error of the import.
    try {
        reader.OpenArchive();
        if (!reader.HasDirectory() || reader.EntryCount() == 0) {
            *refusal = import_text::notAZip();
            return std::nullopt;
        }
        if (!reader.DirectoryProblem().isEmpty()) {
            *refusal = import_text::damagedZip(reader.DirectoryProblem());
            return std::nullopt;
        }
        for (int i = 0; i < reader.EntryCount(); ++i) {
            const QString name = nameOf(reader, i);
            if (name.endsWith(u'/') || package.m_indexOf.contains(name))
                continue;
            package.m_indexOf.insert(name, i);
            package.m_names.append(name);
        }
    } catch (const ENotAZipFile &) {
        *refusal = import_text::notAZip();
        return std::nullopt;
    } catch (const Exception &e) {
        *refusal = import_text::damagedZip(e.message());
        return std::nullopt;
    }
    return package;
}

Package Package::fromFolder(const QString &folder)
{
    Package package;
    package.m_folder = folder;
    package.m_names = QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    return package;
}

QStringList Package::names() const
{
    return m_names;
}

bool Package::contains(const QString &name) const
{
    if (m_zip)
        return m_indexOf.contains(name);
    return !climbsOut(name) && QFileInfo(QDir(m_folder).filePath(name)).isFile();
}

std::optional<QByteArray> Package::read(const QString &name, QString *why, qint64 limit) const
{
    if (climbsOut(name)) {
        *why = import_text::missingFile(name);
        return std::nullopt;
    }
    QByteArray bytes;
    if (!m_zip) {
        const QString path = QDir(m_folder).filePath(name);
        if (!QFileInfo::exists(path)) {
            *why = import_text::missingFile(name);
            return std::nullopt;
        }
        QString refusal;
        if (!readInputFile(path, limit, &bytes, &refusal)) {
            *why = import_text::fileUnreadable(name, refusal);
            return std::nullopt;
        }
        return bytes;
    }
    const auto found = m_indexOf.constFind(name);
    if (found == m_indexOf.constEnd()) {
        *why = import_text::missingFile(name);
        return std::nullopt;
    }
    const TZipHeaderInfo entry = m_zip->Entry(*found);
    if (entry.uncompressedSize > quint64(limit)) {
        *why = import_text::fileUnreadable(name, import_text::tooLarge());
        return std::nullopt;
    }
    // The reader would announce an unknown method in a box of its own.
    if (entry.method != zip::kMethodStored && entry.method != zip::kMethodDeflated) {
        *why = import_text::fileUnreadable(name, import_text::unknownMethodInZip());
        return std::nullopt;
    }
    ExtractFailure failure = ExtractFailure::CrcMismatch;
    try {
        if (m_zip->ExtractEntry(*found, bytes, &failure))
            return bytes;
    } catch (const Exception &e) {
        *why = import_text::fileUnreadable(name, e.message());
        return std::nullopt;
    }
    *why = import_text::fileUnreadable(name, reasonOf(failure));
    return std::nullopt;
}

} // namespace diary_import
