#pragma once

#include "templates/templates.h"

#include <QDialog>

class QComboBox;
class QTextEdit;

// 「模板」: the texts a new, empty entry starts from, edited in a small rich-text editor: one for
// every day and, where wanted, one per weekday (周日：本周回顾). The buttons put in the
// placeholders {日期}, {星期}, {农历}, filled when an entry is made. Nothing is stored here: the
// caller takes templates() after 确定 and writes them (templates::write).
class TTemplatesEditor : public QDialog
{
    Q_OBJECT

public:
    explicit TTemplatesEditor(const templates::Templates &current, QWidget *parent = nullptr);

    QComboBox *DayBox() const { return m_dayBox; }   // 每天, 周一 … 周日
    QTextEdit *Editor() const { return m_editor; }
    // The templates as edited (the slot shown included).
    templates::Templates templates() const;

private:
    // The editor's text into the slot shown, then the slot picked into the editor.
    void keepShown();
    void showSlot(int slot);
    QByteArray &slotBytes(int slot);

    templates::Templates m_templates;
    QComboBox *m_dayBox = nullptr;
    QTextEdit *m_editor = nullptr;
    int m_shown = 0;
};
