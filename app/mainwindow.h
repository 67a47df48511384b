#ifndef MAINWINDOW_H
#define MAINWINDOW_H

#include "config/device.h"
#include "config/frames.h"
#include "config/profile.h"
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

    // The form's values as typed, and the port currently chosen.
    Frames::FormInput formInput() const;
    QString currentPort() const;
    // The module whose values the form shows: the port, model, version and
    // MAC of the reply or the profile that last filled it; empty before.
    Profile shownModule() const;
    // Fills the form as a reply would, without touching the module: the
    // profile's settings (those it leaves out keep their values) and its
    // model, version and MAC (empty when it names none).
    void showProfile(const Profile &profile);

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
    void showValue(Frames::Field field, int value);

    Ui::MainWindow *ui;
    DetectDeviceThread detectThread;
    QTimer detectTimer;
    Device device;
    // Outlives the window: owned by the application object.
    QDeviceWatcher *watcher = nullptr;
    QString lastPortName;
    QStringList namedPorts;
    bool isWrite = false;
    QString exchangePort; // of the exchange running
    QString modulePort;   // of the values shown; empty before a reply or profile
};

#endif // MAINWINDOW_H
