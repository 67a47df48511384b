#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "app/profileactions.h"
#include "config/frames.h"
#include "devicewatcher/qdevicewatcher.h"

#include <QComboBox>
#include <QDebug>
#include <QIntValidator>
#include <QLineEdit>
#include <QMessageBox>

#include <iterator>

MainWindow::MainWindow(QWidget *parent) : QMainWindow(parent), ui(new Ui::MainWindow)
{
    ui->setupUi(this);

    connect(&detectThread, SIGNAL(portAvailable(QString)), this, SLOT(onPortAvailable(QString)));
    connect(&detectThread, SIGNAL(portNotFound()), this, SLOT(onPortNotFound()));
    connect(&detectThread, SIGNAL(portFoundStart()), this, SLOT(onPortFoundStart()));
    connect(&detectThread, SIGNAL(portFoundEnd()), this, SLOT(onPortFoundEnd()));
    connect(&detectTimer, SIGNAL(timeout()), this, SLOT(onTimeOut()));
    connect(&device, SIGNAL(timeOut()), this, SLOT(onDeviceTimeOut()));
    connect(&device, SIGNAL(openfail()), this, SLOT(onDeviceOpenFail()));
    connect(&device, SIGNAL(porterror()), this, SLOT(onDevicePortError()));
    connect(&device, SIGNAL(finalProgress(QByteArray)), this, SLOT(onFinalProgress(QByteArray)));

    initForm();
    // Profiles: the context menu, Ctrl+S and Ctrl+O, and files dropped here.
    new ProfileActions(this);

    detectTimer.start(1000);

    // A device plugged in or pulled out refreshes the port list by itself.
    // The watcher outlives the window; the application object, not the
    // window, deletes it, at the very end.
    watcher = new QDeviceWatcher(QCoreApplication::instance());
    watcher->addEventReceiver(this);
    connect(watcher, SIGNAL(deviceAdded(QString)), this, SLOT(slotDeviceAdded(QString)),
            Qt::DirectConnection);
    connect(watcher, SIGNAL(deviceChanged(QString)), this, SLOT(slotDeviceChanged(QString)),
            Qt::DirectConnection);
    connect(watcher, SIGNAL(deviceRemoved(QString)), this, SLOT(slotDeviceRemoved(QString)),
            Qt::DirectConnection);
    connect(watcher, SIGNAL(deviceNotify(QString)), this, SLOT(slotDeviceNotify(QString)),
            Qt::DirectConnection);
    if (!watcher->start()) {
        // Discovery still runs at start-up and after a failed exchange.
        QMessageBox::warning(nullptr, tr("WARNGING"), tr("Failed to start"));
    }
}

MainWindow::~MainWindow()
{
    delete ui;
}

void MainWindow::initForm()
{
    setWindowTitle(tr("Tavrel_Ver:1509181"));
    // The group boxes' layout then fills the window; the designer's central
    // widget is dropped.
    setCentralWidget(ui->verticalLayoutWidget);

    // The index of each item is the code the module receives: the lists
    // come from the field table, which owns their order.
    const Frames::Settings defaults;
    for (Frames::Field field : Frames::ALL_FIELDS) {
        const Frames::FieldInfo &info = Frames::fieldInfo(field);
        if (info.kind == Frames::FieldKind::List)
            static_cast<QComboBox *>(fieldWidget(field))->addItems(Frames::itemTexts(field));
        if (info.kind == Frames::FieldKind::Number)
            static_cast<QLineEdit *>(fieldWidget(field))
                ->setValidator(new QIntValidator(info.minimum, info.maximum, this));
    }
    showSettings(defaults);

    ui->pushButtonRead->setEnabled(false);
    ui->pushButtonWrite->setEnabled(false);
}

QWidget *MainWindow::fieldWidget(Frames::Field field) const
{
    // By Field: a combo box for a list, a line edit for the others.
    QWidget *const widgets[] = {ui->lineEditRF,        ui->lineEditID,       ui->comboBoxTRX,
                                ui->comboBoxPower,     ui->comboBoxBaudrate, ui->comboBoxParity,
                                ui->comboBoxWakeupTime};
    static_assert(std::size(widgets) == Frames::FIELD_COUNT, "a widget for every field");
    return widgets[field];
}

void MainWindow::showSettings(const Frames::Settings &settings)
{
    for (Frames::Field field : Frames::ALL_FIELDS)
        showValue(field, settings.value(field));
}

void MainWindow::showValue(Frames::Field field, int value)
{
    // A code that names no item leaves its list without a current item.
    if (Frames::fieldInfo(field).kind == Frames::FieldKind::List)
        static_cast<QComboBox *>(fieldWidget(field))->setCurrentIndex(value);
    else
        static_cast<QLineEdit *>(fieldWidget(field))->setText(Frames::valueText(field, value));
}

Frames::FormInput MainWindow::formInput() const
{
    Frames::FormInput input;
    for (Frames::Field field : Frames::ALL_FIELDS) {
        if (Frames::fieldInfo(field).kind == Frames::FieldKind::List)
            input.codes[field] = static_cast<QComboBox *>(fieldWidget(field))->currentIndex();
        else
            input.texts[field] = static_cast<QLineEdit *>(fieldWidget(field))->text();
    }
    return input;
}

QString MainWindow::currentPort() const
{
    return ui->comboBoxPort->currentText();
}

Profile MainWindow::shownModule() const
{
    Profile module;
    module.port = modulePort;
    module.model = ui->label_8->text();
    module.version = ui->label_10->text();
    module.mac = ui->label_14->text();
    return module;
}

void MainWindow::showProfile(const Profile &profile)
{
    ui->label_8->setText(profile.model);
    ui->label_10->setText(profile.version);
    ui->label_14->setText(profile.mac);
    for (auto it = profile.changes.cbegin(); it != profile.changes.cend(); ++it)
        showValue(it.key(), it.value());
    modulePort = profile.port;
}

void MainWindow::slotDeviceAdded(const QString &dev)
{
    Q_UNUSED(dev)
}

void MainWindow::slotDeviceRemoved(const QString &dev)
{
    Q_UNUSED(dev)
}

void MainWindow::slotDeviceChanged(const QString &dev)
{
    Q_UNUSED(dev)
}

void MainWindow::slotDeviceNotify(const QString &dev)
{
    Q_UNUSED(dev)
    // Does nothing while a pass is already running.
    detectThread.startDetect();
}

void MainWindow::on_pushButtonAbout_clicked()
{
    QMessageBox::about(nullptr, tr("About"),
                       tr("Radio module configuration utility.\n"
                          "Copyright (C) Tavrel. All rights reserved."));
}

void MainWindow::setNamedPorts(const QStringList &ports)
{
    namedPorts = ports;
    namedPorts.removeDuplicates();
    namedPorts.removeAll(QString());
    for (const QString &port : std::as_const(namedPorts)) {
        if (ui->comboBoxPort->findText(port) < 0)
            ui->comboBoxPort->addItem(port);
    }
    if (!namedPorts.isEmpty()) {
        ui->pushButtonRead->setEnabled(true);
        ui->pushButtonWrite->setEnabled(true);
    }
}

void MainWindow::onPortAvailable(QString portName)
{
    // One pass per start: further passes come from the timer or the watcher.
    detectThread.stopDetect();
    // A named port that discovery finds too is listed once, where it is named.
    if (!namedPorts.contains(portName))
        ui->comboBoxPort->addItem(portName);
    ui->pushButtonRead->setEnabled(true);
    ui->pushButtonWrite->setEnabled(true);
}

void MainWindow::onPortNotFound()
{
    ui->pushButtonRead->setEnabled(!namedPorts.isEmpty());
    ui->pushButtonWrite->setEnabled(!namedPorts.isEmpty());
    detectThread.stopDetect();
}

void MainWindow::onPortFoundStart()
{
    // An empty list keeps the last known choice, so a port that comes back
    // after a pass without it is chosen again; so does a list of the named
    // ports alone at its first, where every such pass leaves it.
    const bool namedOnly = ui->comboBoxPort->count() == namedPorts.size();
    if (ui->comboBoxPort->count() > 0 && !(namedOnly && ui->comboBoxPort->currentIndex() == 0))
        lastPortName = ui->comboBoxPort->currentText();
    ui->comboBoxPort->clear();
}

void MainWindow::onPortFoundEnd()
{
    ui->comboBoxPort->addItems(namedPorts);
    for (int i = 0; i < ui->comboBoxPort->count(); ++i) {
        if (ui->comboBoxPort->itemText(i) == lastPortName) {
            ui->comboBoxPort->setCurrentIndex(i);
            break;
        }
    }
}

void MainWindow::onTimeOut()
{
    detectTimer.stop();
    detectThread.startDetect();
}

void MainWindow::startExchange(const QByteArray &request, bool write)
{
    exchangePort = ui->comboBoxPort->currentText();
    device.setPortName(exchangePort);
    device.setRequest(request);
    // One exchange at a time: nothing in the window can be used until it ends.
    setEnabled(false);
    isWrite = write;
    device.startDownload();
}

void MainWindow::on_pushButtonRead_clicked()
{
    startExchange(Frames::READ_REQUEST, false);
}

void MainWindow::on_pushButtonWrite_clicked()
{
    const Frames::FormInput input = formInput();
    const double megahertz = input.texts[Frames::Frequency].toDouble();
    qDebug() << megahertz;
    qDebug() << megahertz * 1000;

    // A value the module cannot take is refused here rather than sent as
    // garbage that the module would then report as written.
    const Frames::WriteRequest request = Frames::buildWriteRequest(input);
    if (!request.isValid()) {
        QMessageBox::warning(nullptr, tr("Write"), request.messages().join(QLatin1Char('\n')));
        return;
    }
    qDebug() << request.settings.frequencyKHz;
    qDebug().noquote() << request.frame.toHex();
    startExchange(request.frame, true);
}

void MainWindow::onFinalProgress(QByteArray configData)
{
    qDebug().noquote() << configData.toHex();
    const std::optional<Frames::Parameters> parameters = Frames::decodeParameterBlock(configData);
    if (!parameters) {
        // Too short to hold every field: the form keeps what it showed.
        endFailedExchange(tr("UART Error"));
        return;
    }
    setEnabled(true);

    ui->label_8->setText(parameters->model);
    ui->label_10->setText(parameters->version);
    ui->label_14->setText(parameters->mac);
    modulePort = exchangePort;
    qDebug() << parameters->settings.frequencyKHz;
    showSettings(parameters->settings);

    if (isWrite)
        QMessageBox::about(nullptr, tr("Write"), tr("Write parameters successfully."));
    else
        QMessageBox::about(nullptr, tr("Read"), tr("Read parameters successfully."));
}

void MainWindow::endFailedExchange(const QString &text)
{
    setEnabled(true);
    // The port may be gone: look again in a second, while the box is open.
    detectTimer.start(1000);
    QMessageBox::critical(nullptr, tr("critical"), text);
}

void MainWindow::onDeviceTimeOut()
{
    endFailedExchange(tr("Timeout"));
}

void MainWindow::onDeviceOpenFail()
{
    endFailedExchange(tr("Open failure"));
}

void MainWindow::onDevicePortError()
{
    endFailedExchange(tr("UART Error"));
}
