#include "app/mainwindow.h"

#include <QApplication>
#include <QCommandLineParser>

#include <cstring>

// Whether the command line asks only for the help text.
static bool asksForHelp(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        for (const char *help : {"-h", "--help", "-help", "-?", "--help-all"}) {
            if (std::strcmp(argv[i], help) == 0)
                return true;
        }
    }
    return false;
}

int main(int argc, char *argv[])
{
    // The help needs no screen: from a terminal without a display (ssh),
    // the window's platform would fail to start before printing it.
    if (asksForHelp(argc, argv) && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
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
