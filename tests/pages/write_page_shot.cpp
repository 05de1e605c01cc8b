// Shows the write page with an entry open and saves a picture of it, and optionally a close-up
// of its top (date, boxes, toolbar) at three times the size:
//     write_page_shot [picture.png [close-up.png]]
#include "pages/write_page.h"
#include "widgets/image_combo_box.h"

#include <QApplication>
#include <QLabel>
#include <QTextCursor>
#include <QTextEdit>
#include <QTimer>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("shot-write.png");
    const QString closeUp = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();

    TWritePage page;
    page.setWindowTitle(QStringLiteral("写日记"));
    page.Label3->setText(QStringLiteral("2003年9月26日"));
    page.dBox1->setCurrentIndex(3);
    page.dBox2->setCurrentIndex(4);
    page.RichEdit1->setHtml(QStringLiteral(
        "<p align=\"center\"><b>初雪</b></p>"
        "<p>今天早上推开窗，外面已经是白茫茫的一片。<span style=\"color:#c00000\">第一场雪</span>"
        "来得比往年早，院子里的梅树枝上积了薄薄的一层。</p>"
        "<p><i>想法：</i>周末去西山看雪，带上相机和热茶。</p>"
        "<ul><li>给妈妈打电话</li><li>把冬衣从箱子里拿出来</li></ul>"
        "<p><u>记住</u>：路滑，<s>骑车</s>坐公交。</p>"));
    QTextCursor cursor(page.RichEdit1->document());
    cursor.movePosition(QTextCursor::NextBlock);
    cursor.movePosition(QTextCursor::NextCharacter, QTextCursor::KeepAnchor, 6);
    page.RichEdit1->setTextCursor(cursor);
    page.resize(page.sizeHint());
    page.show();
    page.activateWindow();

    QTimer::singleShot(300, &page, [&] {
        page.UpdateCommands();
        const QPixmap shot = page.grab();
        shot.save(out);
        if (!closeUp.isEmpty())
            shot.copy(0, 0, shot.width(), 76).scaled(shot.width() * 3, 76 * 3).save(closeUp);
        app.quit();
    });
    return app.exec();
}
