#pragma once

// TForm6, the About window: the author's mail address and a link to the article on building the light board.

#include <QWidget>

class QLabel;
class LinkLabel;

class TForm6 final : public QWidget {
    Q_OBJECT

public:
    static const QString AuthorMail;
    static const QString BoardArticle;

    TForm6();

    void Label3Click();
    void Label5Click();

    QLabel* Label1;
    LinkLabel* Label5;
    QLabel* Label4;
    QLabel* Label2;
    LinkLabel* Label3;

protected:
    // Centres the window each time it is shown, wherever it was left.
    void showEvent(QShowEvent* event) override;
};
