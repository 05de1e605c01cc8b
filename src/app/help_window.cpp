#include "help_window.h"
#include "texts.h"

#include "platform/exception.h"

#include <QFile>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace {
QString &helpFile()
{
    static QString path = QStringLiteral(":/help/quillbook.html");
    return path;
}
} // namespace

QString applicationHelpFile() { return helpFile(); }
void setApplicationHelpFile(const QString &path) { helpFile() = path; }

THelpWindow::THelpWindow(QWidget *parent)
    : QDialog(parent), m_browser(new QTextBrowser(this))
{
    setObjectName(QStringLiteral("HelpWindow"));
    setWindowTitle(app::text::helpCaption());
    setAttribute(Qt::WA_QuitOnClose, false);
    setModal(false);
    m_browser->setOpenExternalLinks(true);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_browser);
    resize(560, 520);
}

void THelpWindow::showDocument(const QString &path)
{
    if (!QFile::exists(path))
        throw EInOutError(app::text::helpMissing(path));
    const QUrl url = path.startsWith(QLatin1Char(':')) ? QUrl(QLatin1String("qrc") + path)
                                                        : QUrl::fromLocalFile(path);
    m_browser->setSource(url);
    show();
    raise();
    activateWindow();
}
