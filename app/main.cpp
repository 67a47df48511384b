#include "app/mainwindow.h"

#include <QApplication>
#include <QCommandLineParser>

int main(int argc, char *argv[])
{
    QApplication a(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Reads and writes the parameters of a long-range radio module."));
    parser.addHelpOption();
    parser.addOption({QStringLiteral("port"),
                      QStringLiteral("A port to list beside the discovered ones: a serial port, "
                                     "rfc2217://HOST:PORT or tcp://HOST:PORT; may be repeated."),
                      QStringLiteral("name")});
    parser.process(a);
    MainWindow w;
    w.setNamedPorts(parser.values(QStringLiteral("port")));
    w.show();
    return a.exec();
}
