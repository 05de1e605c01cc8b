#include "accounts/recovery_code_dialog.h"
#include "accounts/messages.h"
#include "platform/message_box.h"

#include <QClipboard>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QTextDocument>
#include <QVBoxLayout>

namespace {

constexpr int kCodePixelSize = 22;
constexpr int kGroupsPerRow = 3;
// The explanations wrap at about this width: the code's two rows set the dialog's width, the
// text is kept from making it much wider.
constexpr int kTextWidth = 340;

QLabel *wrappedText(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setWordWrap(true);
    label->setMinimumWidth(kTextWidth);
    return label;
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

    auto *intro = wrappedText(accounts_text::kRecoveryIntro, this);

    // One label a group, so that no group can be cut off or wrapped away from the others.
    auto *codeFrame = new QFrame(this);
    codeFrame->setObjectName(QStringLiteral("CodeFrame"));
    codeFrame->setFrameShape(QFrame::Box);
    auto *grid = new QGridLayout(codeFrame);
    grid->setHorizontalSpacing(18);
    grid->setVerticalSpacing(6);
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setPixelSize(kCodePixelSize);
    mono.setBold(true);
    const QStringList groups = code.split(QLatin1Char('-'));
    for (qsizetype i = 0; i < groups.size(); ++i) {
        auto *group = new QLabel(groups[i], codeFrame);
        group->setObjectName(QStringLiteral("CodeGroup%1").arg(i + 1));
        group->setFont(mono);
        group->setAlignment(Qt::AlignCenter);
        group->setTextInteractionFlags(Qt::TextSelectableByMouse);
        grid->addWidget(group, int(i / kGroupsPerRow), int(i % kGroupsPerRow));
        m_groups.append(group);
    }

    auto *warning = wrappedText(accounts_text::kRecoveryWarning, this);
    warning->setObjectName(QStringLiteral("WarningLabel"));
    QPalette red = warning->palette();
    red.setColor(QPalette::WindowText, QColor(0xA0, 0, 0));
    warning->setPalette(red);

    m_copyButton = new QPushButton(accounts_text::kCopyButton, this);
    m_copyButton->setObjectName(QStringLiteral("CopyButton"));
    m_printButton = new QPushButton(accounts_text::kPrintButton, this);
    m_printButton->setObjectName(QStringLiteral("PrintButton"));
    m_closeButton = new QPushButton(accounts_text::kCloseButton, this);
    m_closeButton->setObjectName(QStringLiteral("CloseButton"));
    m_closeButton->setDefault(true);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_copyButton);
    buttons->addWidget(m_printButton);
    buttons->addStretch();
    buttons->addWidget(m_closeButton);
    auto *column = new QVBoxLayout(this);
    column->addWidget(intro);
    column->addWidget(codeFrame);
    column->addWidget(warning);
    column->addLayout(buttons);
    // Exactly as large as the whole code and every line of the wrapped texts need: a minimum
    // alone would count the texts' lines at another width, and a window manager fitting the
    // dialog onto a small screen could then squeeze the code.
    column->setSizeConstraint(QLayout::SetFixedSize);

    connect(m_copyButton, &QPushButton::clicked, this, [this] { guarded([this] { copyCode(); }); });
    connect(m_printButton, &QPushButton::clicked, this, [this] { guarded([this] { printCode(); }); });
    connect(m_closeButton, &QPushButton::clicked, this, &QDialog::accept);
}

void RecoveryCodeDialog::showCode(QWidget *parent, const QString &userName, const QString &code)
{
    RecoveryCodeDialog dialog(userName, code, parent);
    dialog.exec();
}

void RecoveryCodeDialog::copyCode() { QGuiApplication::clipboard()->setText(m_code); }

void RecoveryCodeDialog::reject()
{
    if (msgbox::show(this, QMessageBox::Question, accounts_text::kRecoveryCaption,
                     accounts_text::kRecoveryNotedQuestion, QMessageBox::Yes | QMessageBox::No,
                     QMessageBox::No)
        == QMessageBox::Yes)
        QDialog::reject();
}

void RecoveryCodeDialog::printPage(QPrinter &printer) const
{
    QTextDocument page;
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setPointSize(16);
    page.setDefaultFont(mono);
    page.setPlainText(accounts_text::kRecoveryPrintout.arg(m_userName, m_code) + accounts_text::kRecoveryWarning);
    page.print(&printer);
}

void RecoveryCodeDialog::printCode()
{
    QPrinter printer;
    QPrintDialog dialog(&printer, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    printPage(printer);
}
