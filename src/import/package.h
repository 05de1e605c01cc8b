#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

class TArchiveReader;

// The files of another program's export: the entries of a ZIP read whole (Day One, Journey,
// ODF and Office Open XML documents) through the archive room's reader, or the files of a
// folder the export was unpacked into, through readInputFile. Names are relative, with "/"
// between folders. Never throws.
namespace diary_import {

class Package
{
public:
    // The ZIP in bytes (named path in messages). Nothing, with *refusal (import_text) saying
    // why, when it is no ZIP or its directory is damaged.
    static std::optional<Package> fromZip(const QByteArray &bytes, const QString &path, QString *refusal);
    // The files of a folder.
    static Package fromFolder(const QString &folder);

    // The files a ZIP holds (folders left out), or those directly in the folder, in their order.
    QStringList names() const;
    bool contains(const QString &name) const;

    // The bytes of a file; nothing, with *why (import_text) saying why, when it is missing, its
    // data is damaged or of a compression method the reader does not know, it is encrypted,
    // larger than limit, or its name climbs out of a folder ("..", an absolute path).
    std::optional<QByteArray> read(const QString &name, QString *why, qint64 limit) const;

private:
    Package() = default;

    std::shared_ptr<TArchiveReader> m_zip;
    QHash<QString, int> m_indexOf;     // ZIP: name -> directory index
    QStringList m_names;
    QString m_folder;                  // a folder's path, when no ZIP
};

} // namespace diary_import
