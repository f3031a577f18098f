// Baseline of the start-up benchmark: the least a Qt program does to show
// a main window. Reports on stderr once the window is shown, then quits.

#include <QApplication>
#include <QMainWindow>
#include <QTimer>

#include <cstdio>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QMainWindow window;
    window.resize(800, 600);
    window.show();
    std::fprintf(stderr, "Main window shown\n");
    std::fflush(stderr);
    QTimer::singleShot(0, &app, &QCoreApplication::quit);
    return app.exec();
}
