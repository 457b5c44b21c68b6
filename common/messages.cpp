#include "common/messages.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <cstdio>

namespace messages {
namespace {

QList<Shown>* recording = nullptr;

// Records or prints the box instead of showing it, when tests or scripts ask for that.
bool divert(Kind kind, const QString& text) {
    if (recording) {
        recording->append({kind, text});
        return true;
    }
    if (qEnvironmentVariable("VARNEX_MESSAGES") == QLatin1String("stderr")) {
        std::fprintf(stderr, "%s: %s\n", kind == Kind::Error ? "error" : "message",
                     text.toUtf8().constData());
        std::fflush(stderr);
        return true;
    }
    return false;
}

void show(Kind kind, const QString& text) {
    if (divert(kind, text)) return;
    QMessageBox box(kind == Kind::Error ? QMessageBox::Critical : QMessageBox::NoIcon,
                    QStringLiteral("Varnex"), text, QMessageBox::Ok, QApplication::activeWindow());
    box.exec();
}

}  // namespace

void ShowMessage(const QString& text) {
    show(Kind::Message, text);
}
void ShowNotice(const QString& text) {
    if (divert(Kind::Message, text)) return;
    static QPointer<QMessageBox> box;
    if (!box) {
        box = new QMessageBox(QMessageBox::NoIcon, QStringLiteral("Varnex"), text, QMessageBox::Ok,
                              QApplication::activeWindow());
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setWindowModality(Qt::NonModal);
    }
    box->setText(text);
    box->show();
}
void ShowError(const QString& text) {
    show(Kind::Error, text);
}

Recorder::Recorder() {
    Q_ASSERT(!recording);
    recording = new QList<Shown>;
}

Recorder::~Recorder() {
    delete recording;
    recording = nullptr;
}

const QList<Shown>& Recorder::shown() const {
    return *recording;
}

QStringList Recorder::texts() const {
    QStringList list;
    for (const Shown& s : *recording) list << s.text;
    return list;
}

void Recorder::clear() {
    recording->clear();
}

}  // namespace messages
