#ifndef WINDOWPROBE_H
#define WINDOWPROBE_H

#include "app/mainwindow.h"

#include <QApplication>
#include <QComboBox>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <functional>

// The window's widgets by name, and its discovery passes counted by the
// list clears they make (a pass clears a list that holds a port).
class WindowProbe : public QObject
{
public:
    explicit WindowProbe(MainWindow *window) : window(window)
    {
        connect(ports(), QOverload<int>::of(&QComboBox::currentIndexChanged), this,
                [this](int index) { passes += index == -1 ? 1 : 0; });
    }
    template <typename T> T *child(const char *name) const { return window->findChild<T *>(name); }
    QComboBox *ports() const { return child<QComboBox>("comboBoxPort"); }
    QStringList listed() const
    {
        QStringList names;
        for (int i = 0; i < ports()->count(); ++i)
            names << ports()->itemText(i);
        return names;
    }
    // Read and Write: "on", "off", or "mixed" should they ever differ.
    QString readWrite() const
    {
        const bool read = child<QPushButton>("pushButtonRead")->isEnabled();
        return read != child<QPushButton>("pushButtonWrite")->isEnabled() ? "mixed"
               : read                                                     ? "on"
                                                                          : "off";
    }
    // Every field a reply fills, in form order, joined by '|'.
    QString form() const
    {
        QStringList texts;
        for (const char *text : {"label_8", "label_10", "label_14", "lineEditRF", "lineEditID"})
            texts << child<QWidget>(text)->property("text").toString();
        for (const char *list : Lists)
            texts << child<QComboBox>(list)->currentText();
        return texts.join('|');
    }
    static constexpr const char *Lists[] = {"comboBoxTRX", "comboBoxPower", "comboBoxBaudrate",
                                            "comboBoxParity", "comboBoxWakeupTime"};
    // Starts a pass as the window's timer does.
    void startPass() const { QMetaObject::invokeMethod(window, "onTimeOut"); }

    MainWindow *window;
    int passes = 0;
};

// Closes each modal message box as a user would, recording "title: text";
// holdOpen, when set, keeps a box open until it returns false.
class BoxCloser : public QObject
{
public:
    BoxCloser()
    {
        connect(&poll, &QTimer::timeout, this, [this] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            if (box != current) {
                current = box;
                seen << box->windowTitle() + ": " + box->text();
                if (onShown)
                    onShown();
            }
            if (holdOpen && holdOpen())
                return;
            box->close();
            current = nullptr;
        });
        poll.start(20);
    }
    QStringList seen;
    std::function<void()> onShown;
    std::function<bool()> holdOpen;

private:
    QTimer poll;
    QMessageBox *current = nullptr;
};

#endif // WINDOWPROBE_H
