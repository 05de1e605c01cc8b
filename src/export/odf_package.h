#pragma once

#include <QByteArray>

// The ODF text package QTextDocumentWriter writes, made to show its formats in Chinese text too.
//
// Qt writes a run's weight, slant, size and family as the properties for Latin script only
// (fo:font-weight, …). ODF gives each script group its own: LibreOffice and the other ODF word
// processors take those of Chinese text from the Asian ones (style:font-weight-asian, …), so a
// bold Chinese word opened from Qt's file is not bold. The mend gives each style the same value
// for the Asian and the complex scripts where it names one for Latin.
namespace diary_export {

// The package with content.xml's text properties mended as above, every other entry copied as
// it is. A package of another form than Qt writes (data descriptors, Zip64, another method, a
// content.xml that does not inflate) comes back byte for byte.
QByteArray withAsianTextProperties(const QByteArray &odt);

// The same for the XML of content.xml alone.
QByteArray withAsianTextPropertiesXml(const QByteArray &xml);

} // namespace diary_export
