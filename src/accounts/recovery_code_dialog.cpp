#include "accounts/recovery_code_dialog.h"
#include "accounts/messages.h"
#include "platform/message_box.h"

#include <QClipboard>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QTextDocument>
#include <QVBoxLayout>

namespace {

constexpr int kCodePixelSize = 24;
constexpr int kDialogWidth = 380;

// Groups of the code on two lines of three, so the eye can keep its place while copying it.
QString shownCode(const QString &code)
{
    QStringList groups = code.split(QLatin1Char('-'));
    if (groups.size() != 6)
        return code;
    return groups.mid(0, 3).join(QLatin1Char(' ')) + QLatin1Char('\n') + groups.mid(3).join(QLatin1Char(' '));
}

} // namespace

RecoveryCodeDialog::RecoveryCodeDialog(const QString &userName, const QString &code, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                          | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
    , m_userName(userName)
    , m_code(code)
{
    setObjectName(QStringLiteral("RecoveryForm"));
    setWindowTitle(accounts_text::kRecoveryCaption);
    setFixedWidth(kDialogWidth);

    auto *intro = new QLabel(accounts_text::kRecoveryIntro, this);
    intro->setWordWrap(true);

    m_codeLabel = new QLabel(shownCode(code), this);
    m_codeLabel->setObjectName(QStringLiteral("CodeLabel"));
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setPixelSize(kCodePixelSize);
    mono.setBold(true);
    m_codeLabel->setFont(mono);
    m_codeLabel->setAlignment(Qt::AlignCenter);
    m_codeLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_codeLabel->setFrameShape(QFrame::Box);
    m_codeLabel->setMargin(8);

    auto *warning = new QLabel(accounts_text::kRecoveryWarning, this);
    warning->setObjectName(QStringLiteral("WarningLabel"));
    warning->setWordWrap(true);
    QPalette red = warning->palette();
    red.setColor(QPalette::WindowText, QColor(0xA0, 0, 0));
    warning->setPalette(red);

    m_copyButton = new QPushButton(accounts_text::kCopyButton, this);
    m_copyButton->setObjectName(QStringLiteral("CopyButton"));
    m_printButton = new QPushButton(accounts_text::kPrintButton, this);
    m_printButton->setObjectName(QStringLiteral("PrintButton"));
    auto *close = new QPushButton(accounts_text::kCloseButton, this);
    close->setObjectName(QStringLiteral("CloseButton"));
    close->setDefault(true);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_copyButton);
    buttons->addWidget(m_printButton);
    buttons->addStretch();
    buttons->addWidget(close);
    auto *column = new QVBoxLayout(this);
    column->addWidget(intro);
    column->addWidget(m_codeLabel);
    column->addWidget(warning);
    column->addLayout(buttons);

    connect(m_copyButton, &QPushButton::clicked, this, [this] { guarded([this] { copyCode(); }); });
    connect(m_printButton, &QPushButton::clicked, this, [this] { guarded([this] { printCode(); }); });
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
}

void RecoveryCodeDialog::showCode(QWidget *parent, const QString &userName, const QString &code)
{
    RecoveryCodeDialog dialog(userName, code, parent);
    dialog.exec();
}

void RecoveryCodeDialog::copyCode() { QGuiApplication::clipboard()->setText(m_code); }

void RecoveryCodeDialog::printCode()
{
    QPrinter printer;
    QPrintDialog dialog(&printer, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    QTextDocument page;
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setPointSize(16);
    page.setDefaultFont(mono);
    page.setPlainText(accounts_text::kRecoveryPrintout.arg(m_userName, m_code) + accounts_text::kRecoveryWarning);
    page.print(&printer);
}
