#include "import/input_file.h"

#include "import/messages.h"

#include <QFile>

namespace diary_import {

bool readInputFile(const QString &path, qint64 limit, QByteArray *bytes, QString *refusal)
{
    bytes->clear();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *refusal = import_text::cannotOpen(file.errorString());
        return false;
    }
    if (file.size() > limit) {
        *refusal = import_text::tooLarge();
        return false;
    }
    *bytes = file.read(limit + 1);
    if (bytes->size() > limit) {
        bytes->clear();
        *refusal = import_text::tooLarge();
        return false;
    }
    refusal->clear();
    return true;
}

} // namespace diary_import
