#include "app/profileactions.h"

#include "app/mainwindow.h"
#include "config/profile.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QSaveFile>
#include <QUrl>

namespace {

// A profile is a few hundred bytes; anything far larger is not one.
constexpr qint64 MAX_PROFILE_BYTES = 1 << 20;

// The window's texts, in the window's translation context.
QString tr(const char *text)
{
    return QCoreApplication::translate("MainWindow", text);
}

QString filter()
{
    return tr("Profiles (*.json);;All files (*)");
}

// The one local file a drag carries, else empty: text dragged onto a field
// stays the field's.
QString droppedFile(const QMimeData *data)
{
    if (!data || data->urls().size() != 1 || !data->urls().first().isLocalFile())
        return QString();
    return data->urls().first().toLocalFile();
}

} // namespace

ProfileActions::ProfileActions(MainWindow *window)
    : QObject(window), window(window), directory(QDir::homePath())
{
    addAction(tr("Save profile…"), QStringLiteral("Ctrl+S"), SLOT(saveProfile()));
    addAction(tr("Open profile…"), QStringLiteral("Ctrl+O"), SLOT(openProfile()));
    addAction(tr("Copy as command line"), QString(), SLOT(copyCommandLine()));
    // The entry fields keep their own menus; everywhere else, and on the Menu
    // key, the window's actions.
    window->setContextMenuPolicy(Qt::ActionsContextMenu);
    window->setAcceptDrops(true);
    window->installEventFilter(this);
    // The fields take dragged text, but a dropped file is a profile.
    for (QLineEdit *edit : window->findChildren<QLineEdit *>())
        edit->installEventFilter(this);
}

void ProfileActions::addAction(const QString &text, const QString &shortcut, const char *slot)
{
    auto *action = new QAction(text, window);
    action->setShortcut(QKeySequence(shortcut));
    connect(action, SIGNAL(triggered()), this, slot);
    window->addAction(action);
}

void ProfileActions::saveProfile()
{
    const QString path =
        QFileDialog::getSaveFileName(window, tr("Save profile"), directory, filter());
    if (!path.isEmpty())
        save(path);
}

void ProfileActions::openProfile()
{
    const QString path =
        QFileDialog::getOpenFileName(window, tr("Open profile"), directory, filter());
    if (!path.isEmpty())
        open(path);
}

bool ProfileActions::save(const QString &path)
{
    const std::optional<Frames::Settings> settings = formSettings(tr("Save profile"), false);
    if (!settings)
        return false;
    const Profile module = window->shownModule();
    const QByteArray contents = Profile::fileContents(
        module.port, Frames::Parameters{module.model, module.version, module.mac, *settings});
    // Written aside and renamed over the file: a full disk leaves the old
    // one as it was.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(contents) != contents.size() ||
        !file.commit()) {
        QMessageBox::critical(nullptr, tr("Save profile"),
                              tr("%1: the profile could not be written: %2. Nothing was saved; "
                                 "choose another file or free some space.")
                                  .arg(QDir::toNativeSeparators(path), file.errorString()));
        return false;
    }
    directory = QFileInfo(path).absolutePath();
    return true;
}

bool ProfileActions::open(const QString &path)
{
    QFile file(path);
    QString problem;
    std::optional<Profile> profile;
    if (!file.open(QIODevice::ReadOnly)) {
        problem = tr("cannot read it: %1").arg(file.errorString());
    } else if (file.size() > MAX_PROFILE_BYTES) {
        problem = tr("%1 bytes, far too large for a profile").arg(file.size());
    } else {
        const QByteArray contents = file.readAll();
        if (file.error() != QFileDevice::NoError)
            problem = tr("cannot read it: %1").arg(file.errorString());
        else
            profile = Profile::parse(contents, &problem);
    }
    if (!profile) {
        QMessageBox::warning(
            nullptr, tr("Open profile"),
            tr("%1: %2. The form is left as it was.").arg(QDir::toNativeSeparators(path), problem));
        return false;
    }
    window->showProfile(*profile);
    directory = QFileInfo(path).absolutePath();
    return true;
}

void ProfileActions::copyCommandLine()
{
    const std::optional<Frames::Settings> settings = formSettings(tr("Copy as command line"), true);
    if (settings)
        QApplication::clipboard()->setText(Profile::writeCommand(*settings, window->currentPort()));
}

std::optional<Frames::Settings> ProfileActions::formSettings(const QString &title, bool whole) const
{
    const Frames::FormInput input = window->formInput();
    Frames::Settings settings;
    QStringList problems;
    for (Frames::Field field : Frames::ALL_FIELDS) {
        if (Frames::fieldInfo(field).kind == Frames::FieldKind::List) {
            // Saved as null, as read --json prints a code that names no item.
            settings.setValue(field, input.codes[field]);
            if (whole && Frames::itemText(field, input.codes[field]).isEmpty())
                problems << Profile::refusal(field);
        } else if (const std::optional<int> value =
                       Profile::parseValue(field, input.texts[field])) {
            settings.setValue(field, *value);
        } else {
            problems << Profile::refusal(field, input.texts[field]);
        }
    }
    if (problems.isEmpty())
        return settings;
    QMessageBox::warning(nullptr, title, problems.join(QLatin1Char('\n')));
    return std::nullopt;
}

bool ProfileActions::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop)
        return QObject::eventFilter(watched, event);
    auto *drop = static_cast<QDropEvent *>(event);
    const QString path = droppedFile(drop->mimeData());
    if (path.isEmpty())
        return QObject::eventFilter(watched, event);
    drop->acceptProposedAction();
    // After the drop has ended: a box inside it would hold the file manager.
    if (type == QEvent::Drop)
        QMetaObject::invokeMethod(this, "open", Qt::QueuedConnection, Q_ARG(QString, path));
    return true;
}
