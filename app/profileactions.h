#ifndef PROFILEACTIONS_H
#define PROFILEACTIONS_H

#include "config/frames.h"

#include <QObject>
#include <QString>

#include <optional>

class MainWindow;

// The window's profiles, the files of radioconf-cli read --json and --from:
// Save and Open in the window's context menu, on Ctrl+S and Ctrl+O, and a
// file dropped on the window; and the write command for the form's values.
// Every failure is told in a box that names the file and why.
class ProfileActions : public QObject
{
    Q_OBJECT
public:
    // Owned by the window; adds its actions to it.
    explicit ProfileActions(MainWindow *window);

    // The form's values to path, replacing the file only once all of it is
    // written.
    bool save(const QString &path);
    // The form filled from path; left as it was unless all of it is taken.
    Q_INVOKABLE bool open(const QString &path);

public slots:
    void saveProfile();
    void openProfile();
    void copyCommandLine();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void addAction(const QString &text, const QString &shortcut, const char *slot);
    // The form's settings as the command line takes them; with whole, every
    // list must have an item chosen. Empty, after a box titled title, when
    // a value is refused.
    std::optional<Frames::Settings> formSettings(const QString &title, bool whole) const;

    MainWindow *window;
    QString directory; // of the last profile saved or opened
};

#endif // PROFILEACTIONS_H
