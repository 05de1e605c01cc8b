#include "import/input_file.h"

#include "import/messages.h"
#include "platform/files.h"

#include <cstring>

namespace diary_import {

bool readInputFile(const QString &path, qint64 limit, QByteArray *bytes, QString *refusal)
{
    files::ReadFile file = files::readRegularFile(path, limit);
    switch (file.refusal) {
    case files::ReadFile::Refusal::None:
        *bytes = std::move(file.bytes);
        refusal->clear();
        return true;
    case files::ReadFile::Refusal::CannotOpen:
        *refusal = import_text::cannotOpen(QString::fromLocal8Bit(std::strerror(file.error)));
        break;
    case files::ReadFile::Refusal::NotARegularFile:
        *refusal = import_text::notRegularFile();
        break;
    case files::ReadFile::Refusal::TooLarge:
        *refusal = import_text::tooLarge();
        break;
    }
    bytes->clear();
    return false;
}

} // namespace diary_import
