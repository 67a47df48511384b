#ifndef MAINWINDOW_H
#define MAINWINDOW_H

#include "discovery/detectdevicethread.h"

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

private slots:
    void on_pushButtonAbout_clicked();
    void onPortAvailable(QString portName);
    void onPortNotFound();
    void onPortFoundStart();
    void onPortFoundEnd();
    void onTimeOut();

private:
    void initForm();

    Ui::MainWindow *ui;
    DetectDeviceThread detectThread;
    QTimer detectTimer;
    QString lastPortName;
};

#endif // MAINWINDOW_H
