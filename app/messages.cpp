#include "app/messages.h"

#include <QApplication>
#include <QMessageBox>
#include <cstdio>

namespace messages {
namespace {

QList<Shown>* recording = nullptr;

void show(Kind kind, const QString& text) {
    if (recording) {
        recording->append({kind, text});
        return;
    }
    if (qEnvironmentVariable("VARNEX_MESSAGES") == QLatin1String("stderr")) {
        std::fprintf(stderr, "%s: %s\n", kind == Kind::Error ? "error" : "message",
                     text.toUtf8().constData());
        std::fflush(stderr);
        return;
    }
    QMessageBox box(kind == Kind::Error ? QMessageBox::Critical : QMessageBox::NoIcon,
                    QStringLiteral("Varnex"), text, QMessageBox::Ok, QApplication::activeWindow());
    box.exec();
}

}  // namespace

void ShowMessage(const QString& text) {
    show(Kind::Message, text);
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
