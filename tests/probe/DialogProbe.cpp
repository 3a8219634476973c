// A Qt plugin that the end-to-end tests load into the box and the update
// program through the environment (QT_PLUGIN_PATH to the folder above
// "generic", QT_QPA_GENERIC_PLUGINS=dialogprobe). It notes every message box
// the program shows and answers it, so a test can follow programs that other
// programs started, and can see texts that an offscreen window never shows.
//
//   DIALOG_PROBE_LOG      a file that gets one line per message box, UTF-8,
//                         tab-separated: process id, title, text, the visible
//                         buttons' captions joined by "|", the caption pressed.
//                         Tabs and line breaks inside texts read "\t", "\n".
//   DIALOG_PROBE_ANSWERS  "part of a text=caption;..." : the button pressed for
//                         a box whose text holds that part; otherwise the
//                         box's default button.

#include <QAbstractButton>
#include <QCoreApplication>
#include <QEvent>
#include <QGenericPlugin>
#include <QMessageBox>
#include <QPushButton>
#include <QPointer>
#include <QTimer>
#include <fcntl.h>
#include <unistd.h>

namespace {

QString Flat(QString text) {
    return text.replace(QLatin1Char('\t'), QLatin1String("\\t"))
        .replace(QLatin1Char('\r'), QLatin1String("\\r"))
        .replace(QLatin1Char('\n'), QLatin1String("\\n"));
}

// The caption a rule of DIALOG_PROBE_ANSWERS names for this text, or "".
QString ScriptedCaption(const QString& text) {
    const QString rules = qEnvironmentVariable("DIALOG_PROBE_ANSWERS");
    for (const QString& rule : rules.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const qsizetype equals = rule.lastIndexOf(QLatin1Char('='));
        if (equals <= 0) continue;
        if (text.contains(rule.left(equals))) return rule.mid(equals + 1);
    }
    return {};
}

// One write per line, appended: several programs may share the file.
void AppendLine(const QString& line) {
    const QByteArray path = qgetenv("DIALOG_PROBE_LOG");
    if (path.isEmpty()) return;
    const int fd = ::open(path.constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return;
    const QByteArray bytes = (line + QLatin1Char('\n')).toUtf8();
    [[maybe_unused]] const ssize_t written = ::write(fd, bytes.constData(), bytes.size());
    ::close(fd);
}

void Answer(QMessageBox* box) {
    QList<QAbstractButton*> visible;
    QStringList captions;
    for (QAbstractButton* button : box->buttons()) {
        if (button->isHidden()) continue;
        visible << button;
        captions << button->text();
    }
    QAbstractButton* chosen = box->defaultButton();
    if (const QString wanted = ScriptedCaption(box->text()); !wanted.isEmpty()) {
        for (QAbstractButton* button : visible) {
            if (button->text() == wanted) chosen = button;
        }
    }
    if (!chosen && !visible.isEmpty()) chosen = visible.front();
    AppendLine(QString::number(QCoreApplication::applicationPid()) + QLatin1Char('\t') +
               Flat(box->windowTitle()) + QLatin1Char('\t') + Flat(box->text()) +
               QLatin1Char('\t') + captions.join(QLatin1Char('|')) + QLatin1Char('\t') +
               (chosen ? chosen->text() : QString()));
    if (chosen) chosen->click();
}

class Probe : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show) {
            if (auto* box = qobject_cast<QMessageBox*>(watched)) {
                // Answered once the box runs its own loop, as a user would.
                QPointer<QMessageBox> shown(box);
                QTimer::singleShot(0, box, [shown] {
                    if (shown) Answer(shown);
                });
            }
        }
        return false;
    }
};

}  // namespace

class DialogProbePlugin : public QGenericPlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QGenericPluginFactoryInterface_iid FILE "dialogprobe.json")

public:
    QObject* create(const QString& key, const QString&) override {
        if (key.compare(QLatin1String("dialogprobe"), Qt::CaseInsensitive) != 0) return nullptr;
        auto* probe = new Probe;
        if (QCoreApplication* app = QCoreApplication::instance()) app->installEventFilter(probe);
        return probe;
    }
};

#include "DialogProbe.moc"
