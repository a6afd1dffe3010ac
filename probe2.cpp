#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QMainWindow>
#include <QTimer>
#include <QWindow>
#include <cstdio>
int main(int argc, char **argv) {
    QApplication app(argc, argv);
    QMainWindow w(nullptr, Qt::FramelessWindowHint); w.setStyleSheet("QMainWindow{background: rgb(255,0,0);}"); w.resize(600, 400);
    w.show();
    QDialog dlg(&w, Qt::SubWindow | Qt::FramelessWindowHint);
    dlg.setAttribute(Qt::WA_NativeWindow);
    dlg.setStyleSheet("QDialog{background: rgb(0,255,0);}"); dlg.resize(700, 100);
    auto *edit = new QLineEdit(&dlg); edit->setGeometry(10, 10, 200, 30);
    QObject::connect(edit, &QLineEdit::textChanged, [](const QString &t) { printf("text %s\n", qPrintable(t)); fflush(stdout); });
    QTimer::singleShot(1500, [&] { dlg.move((w.width() - dlg.width()) / 2, (w.height() - dlg.height()) / 2); dlg.show(); edit->setFocus(); printf("dlg win %d parent %p\n", dlg.isWindow(), (void*)dlg.windowHandle()->parent()); fflush(stdout); });
    return app.exec();
}
