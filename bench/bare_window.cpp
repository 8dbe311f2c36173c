// A bare main window of the scoreboard's client size with one label: the yardstick for the
// program's start-up time (bench/startup.sh measures both until their first window is shown).
#include <QApplication>
#include <QLabel>
#include <QMainWindow>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Bare Window"));
    auto* board = new QWidget(&window);
    board->setFixedSize(992, 675);
    window.setCentralWidget(board);
    auto* label = new QLabel(QStringLiteral("501"), board);
    label->move(32, 18);
    window.move(10, 5);
    window.show();
    return QApplication::exec();
}
