#include <QApplication>
#include <QMainWindow>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("羽书手札2003.11.29版"));
    window.resize(635, 448);
    window.show();
    return app.exec();
}
