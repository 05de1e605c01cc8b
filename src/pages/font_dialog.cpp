#include "pages/font_dialog.h"

#include <QColorDialog>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFontDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QVBoxLayout>

namespace {

struct NamedColour {
    QRgb rgb;
    const char16_t *name;
};

// The sixteen colours a font dialog traditionally offers.
constexpr NamedColour kColours[] = {
    {0x000000, u"黑色"},   {0x800000, u"褐红色"}, {0x008000, u"绿色"},   {0x808000, u"橄榄色"},
    {0x000080, u"深蓝色"}, {0x800080, u"紫色"},   {0x008080, u"深青色"}, {0x808080, u"灰色"},
    {0xC0C0C0, u"银色"},   {0xFF0000, u"红色"},   {0x00FF00, u"酸橙色"}, {0xFFFF00, u"黄色"},
    {0x0000FF, u"蓝色"},   {0xFF00FF, u"紫红色"}, {0x00FFFF, u"水绿色"}, {0xFFFFFF, u"白色"},
};

QIcon swatch(const QColor &colour)
{
    QPixmap pixmap(16, 12);
    pixmap.fill(colour);
    QPainter painter(&pixmap);
    painter.setPen(Qt::gray);
    painter.drawRect(pixmap.rect().adjusted(0, 0, -1, -1));
    return QIcon(pixmap);
}

// A list of the sixteen colours, the dialog's colour when it is none of them, and an entry that
// opens the colour chooser.
class ColourBox : public QComboBox
{
public:
    ColourBox(const QColor &colour, QWidget *parent) : QComboBox(parent)
    {
        for (const NamedColour &c : kColours)
            addItem(swatch(QColor(c.rgb)), QString::fromUtf16(c.name), QColor(c.rgb));
        addItem(QStringLiteral("其他颜色…"));
        select(colour);
        connect(this, &QComboBox::activated, this, [this](int index) {
            if (itemData(index).isValid()) {
                m_colour = itemData(index).value<QColor>();
                return;
            }
            const QColor chosen = QColorDialog::getColor(m_colour, this);
            select(chosen.isValid() ? chosen : m_colour);
        });
    }

    QColor colour() const { return m_colour; }

private:
    void select(const QColor &colour)
    {
        m_colour = colour;
        int index = findData(colour);
        if (index < 0) {
            index = count() - 1;
            insertItem(index, swatch(colour), QStringLiteral("自定义"), colour);
        }
        setCurrentIndex(index);
    }

    QColor m_colour;
};

} // namespace

FontDialog::FontDialog()
    : m_font(QStringLiteral("MS Sans Serif"), 8), m_color(Qt::black)
{
}

bool FontDialog::Execute(QWidget *owner)
{
    if (m_runner)
        return m_runner(m_font, m_color);

    QDialog dialog(owner);
    dialog.setWindowTitle(QStringLiteral("字体"));
    auto *chooser = new QFontDialog(&dialog);
    chooser->setOptions(QFontDialog::NoButtons | QFontDialog::DontUseNativeDialog);
    chooser->setWindowFlags(Qt::Widget);
    chooser->setCurrentFont(m_font);
    // The chooser shows an installed font in place of one that is not installed ("宋体" on most
    // systems) and whole sizes in place of fractional ones; what the user leaves as shown keeps
    // the name and size it had.
    const QFont shown = chooser->currentFont();
    auto *colours = new ColourBox(m_color, &dialog);
    auto *colourLabel = new QLabel(QStringLiteral("颜色(&C)："), &dialog);
    colourLabel->setBuddy(colours);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);

    auto *colourRow = new QHBoxLayout;
    colourRow->addWidget(colourLabel);
    colourRow->addWidget(colours);
    colourRow->addStretch();
    auto *layout = new QVBoxLayout(&dialog);
    layout->addWidget(chooser);
    layout->addLayout(colourRow);
    layout->addWidget(buttons);

    if (dialog.exec() != QDialog::Accepted)
        return false;
    QFont chosen = chooser->currentFont();
    if (chosen.family() == shown.family())
        chosen.setFamilies(m_font.families().isEmpty() ? QStringList{m_font.family()} : m_font.families());
    if (chosen.pointSizeF() == shown.pointSizeF() && m_font.pointSizeF() > 0)
        chosen.setPointSizeF(m_font.pointSizeF());
    m_font = chosen;
    m_color = colours->colour();
    return true;
}
