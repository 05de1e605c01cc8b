#pragma once

#include "platform/exception.h"

#include <QString>

// Errors of the printer: no usable printer, an output that cannot be opened, a job that broke off.
class EPrinter : public Exception { using Exception::Exception; };

namespace page_texts {

// No printer to print on: none is installed and no output file was chosen, or the chosen
// printer has gone.
inline const QString kNoDefaultPrinter = QStringLiteral("There is no default printer currently selected");

// The chosen output file cannot be written: %1 is its path.
inline const QString kCannotCreateFile = QStringLiteral("Cannot create file \"%1\"");

// The printer refused a further page or did not finish the job.
inline const QString kPrintingFailed = QStringLiteral("Printing failed");

} // namespace page_texts
