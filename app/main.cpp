#include "app/mainwindow.h"

#include <QApplication>
#include <QCommandLineParser>

int main(int argc, char *argv[])
{
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    // The form's sizes are fixed pixels: on a high-DPI screen the whole
    // window scales with the fonts, or the labels would be cut. Qt 6 always
    // does this.
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
#endif
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
