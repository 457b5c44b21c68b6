// The yardstick of the start-up benchmark: a bare Qt main window with a three-item menu bar, with the main
// window's frame flags, title, place and client size, and nothing else.

#include <QApplication>
#include <QMainWindow>
#include <QMenuBar>

int main(int argc, char** argv) {
    int qtArgc = argc > 0 ? 1 : 0;
    QApplication application(qtArgc, argv);
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Varnex"));
    window.setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    for (const QString& item :
         {QStringLiteral("Настройки"), QStringLiteral("Поверх всех окон"), QStringLiteral("О программе")})
        window.menuBar()->addAction(item);
    window.setFixedSize(425, 220 + window.menuBar()->sizeHint().height());
    window.move(399, 352);
    window.show();
    return QApplication::exec();
}
