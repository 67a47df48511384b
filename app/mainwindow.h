#ifndef MAINWINDOW_H
#define MAINWINDOW_H

#include "config/device.h"
#include "config/frames.h"
#include "discovery/detectdevicethread.h"

class QDeviceWatcher;

#include <QMainWindow>
#include <QString>
#include <QTimer>

namespace Ui {
class MainWindow;
}

// The one window: the module's parameters in a form, the port list kept
// current by port discovery, and Read and Write.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // Ports named on the command line (local, rfc2217://, tcp://): listed
    // after the discovered ones by every pass, whether discovery finds them
    // or not, so that Read and Write stay usable on them.
    void setNamedPorts(const QStringList &ports);

public slots:
    void slotDeviceAdded(const QString &dev);
    void slotDeviceRemoved(const QString &dev);
    void slotDeviceChanged(const QString &dev);
    void slotDeviceNotify(const QString &dev);

private slots:
    void on_pushButtonAbout_clicked();
    void onPortAvailable(QString portName);
    void onPortNotFound();
    void onPortFoundStart();
    void onPortFoundEnd();
    void onTimeOut();
    void onDeviceTimeOut();
    void onDeviceOpenFail();
    void onDevicePortError();
    void onFinalProgress(QByteArray configData);
    void on_pushButtonRead_clicked();
    void on_pushButtonWrite_clicked();

private:
    void initForm();
    void startExchange(const QByteArray &request, bool write);
    void endFailedExchange(const QString &text);
    QWidget *fieldWidget(Frames::Field field) const;
    void showSettings(const Frames::Settings &settings);

    Ui::MainWindow *ui;
    DetectDeviceThread detectThread;
    QTimer detectTimer;
    Device device;
    // Outlives the window: owned by the application object.
    QDeviceWatcher *watcher = nullptr;
    QString lastPortName;
    QStringList namedPorts;
    bool isWrite = false;
};

#endif // MAINWINDOW_H
