#include "app/about_window.h"

#include <QDesktopServices>
#include <QShowEvent>
#include <QUrl>

#include "common/fonts.h"
#include "common/handlers.h"
#include "common/link_label.h"
#include "common/window_setup.h"

const QString TForm6::AuthorMail = QStringLiteral("varnex@example.org");
const QString TForm6::BoardArticle = QStringLiteral("https://example.org/varnex/ambilight-attiny2313");

namespace {

LinkLabel* makeLink(QWidget* parent, const char* name, QPoint at, const QString& text) {
    auto* link = MakeLabel<LinkLabel>(parent, name, at, text, 16);
    SetColour(link, QPalette::WindowText, QColor(0x0080c0));
    link->setCursor(Qt::PointingHandCursor);
    return link;
}

}  // namespace

TForm6::TForm6() : QWidget(nullptr) {
    SetupWindow(this, "Form6", QStringLiteral("Varnex | О программе"),
                Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint, {386, 71}, Qt::white, 12);
    Label1 = MakeLabel(this, "Label1", {16, 16}, QStringLiteral("Емейл автора : "), 12);
    Label5 = makeLink(this, "Label5", {112, 14}, AuthorMail);
    Label4 = MakeLabel(this, "Label4", {320, 4}, QStringLiteral("Версия 1.0 "), 11);
    Label2 = MakeLabel(
        this, "Label2", {16, 40},
        QStringLiteral("Программа использует") + QString(25, QLatin1Char(' ')) + QStringLiteral("амбилайт!"),
        12);
    // The link lies in the gap of the line above, so the two read as one sentence.
    Label3 = makeLink(this, "Label3", {167, 37}, QStringLiteral("данный"));
    On(Label3, &LinkLabel::clicked, this, &TForm6::Label3Click);
    On(Label5, &LinkLabel::clicked, this, &TForm6::Label5Click);
}

void TForm6::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) CentreOnScreen(this);
    QWidget::showEvent(event);
}

// Opens the article with the desktop's web browser; the result is not examined.
void TForm6::Label3Click() {
    QDesktopServices::openUrl(QUrl(BoardArticle));
}

// Starts a new message to the author in the desktop's mail program; the result is not examined.
void TForm6::Label5Click() {
    QDesktopServices::openUrl(QUrl(QStringLiteral("mailto:") + AuthorMail));
}
