#include <QApplication>

#include "app/main_window.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    MainWindow window;
    window.ShowAfterCreated();
    return application.exec();
}
