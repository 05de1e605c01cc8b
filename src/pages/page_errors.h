#pragma once

#include "platform/exception.h"

#include <QString>

// Errors of the printer: no usable printer, an output that cannot be opened, a job that broke off.
class EPrinter : public Exception { using Exception::Exception; };

namespace page_texts {

// No printer to print on: none is installed and no output file was chosen, or the chosen
// printer has gone.
inline const QString kNoDefaultPrinter = QStringLiteral("没有可用的打印机，也没有选择输出文件!");

// The chosen output file cannot be written: %1 is its path.
inline const QString kCannotCreateFile = QStringLiteral("无法创建文件“%1”!");

// The printer refused a further page or did not finish the job.
inline const QString kPrintingFailed = QStringLiteral("打印失败!");

// The list page's commands that need a selected row, when none is selected (warning box,
// caption "羽书手札").
inline const QString kSelectEntryFirst =
    QStringLiteral("\u3000\u3000\u3000请先选择一篇日记!\u3000\u3000\u3000");

} // namespace page_texts
