#pragma once

#include <QWidget>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

// The login page's panel (objectName "Panel1"): who logs in and with which password. It only
// holds and lays out the controls; what they do is the main window's business (its handlers
// ComboBox1Change, MaskEdit1KeyPress, Button1Click and Button2Click).
//
// Layout of the 225 × 122 panel, in tab order from the drop-down on:
//   Label1     8,  8; 65 × 21   "用户：", right-aligned, centred on the drop-down, blue
//   ComboBox1 76,  8; 117 wide  drop-down list of the user names (picked, never typed)
//   Label2     8, 40; 66 × 24   "密码：", right-aligned, centred on the edit, red
//   MaskEdit1 76, 40; 117 × 24  the password, every character shown as "*", red text of
//                               character height 13 on white
//   Button1   32, 80; 75 × 25   "登录"
//   Button2  112, 80; 75 × 25   "管理"
// The panel draws a raised outer and a lowered inner bevel. The controls keep their places when
// the panel is resized.
class TLoginPanel : public QWidget
{
    Q_OBJECT

public:
    explicit TLoginPanel(QWidget *parent = nullptr);

    QComboBox *ComboBox1() const { return m_userBox; }
    QLineEdit *MaskEdit1() const { return m_passwordEdit; }
    QPushButton *Button1() const { return m_loginButton; }
    QPushButton *Button2() const { return m_manageButton; }

    // Keeps the panel's left edge and its right margin inside the parent as they are in a parent
    // of designWidth pixels: the panel grows and shrinks with the parent's width.
    void stretchWithParent(int designWidth);

protected:
    void paintEvent(QPaintEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void followParentWidth();

    QLabel *m_userLabel = nullptr;
    QComboBox *m_userBox = nullptr;
    QLabel *m_passwordLabel = nullptr;
    QLineEdit *m_passwordEdit = nullptr;
    QPushButton *m_loginButton = nullptr;
    QPushButton *m_manageButton = nullptr;
    int m_rightMargin = -1;
};
