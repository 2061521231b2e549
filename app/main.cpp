// Program entry: the application object, the language, then the main window.
#include <QApplication>
#include <QMainWindow>

#include "lang/Messages.h"

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    pelmora::SelectLanguage();
    QMainWindow window;
    window.setWindowTitle(QString::fromUtf8(pelmora::Msg(0)));
    window.resize(640, 480);
    window.show();
    return app.exec();
}
