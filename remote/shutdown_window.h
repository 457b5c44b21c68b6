#pragma once

// TForm3, the shutdown confirmation: a white window above all others with one question. The remote shows it
// when the shutdown key is held and shuts down on the next press of that key while it shows; the cancel key,
// Escape and its close button hide it.

#include <QWidget>

class Desktop;
class QLabel;

class TForm3 final : public QWidget {
    Q_OBJECT

public:
    // `desktop` frames the window as a tool frame when it is shown.
    explicit TForm3(Desktop& desktop);

    // Escape (character 27) hides the window; other keys do nothing.
    void FormKeyPress(QChar key);

    QLabel* Label1;

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    Desktop& desktop_;
};
