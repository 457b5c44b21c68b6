#pragma once

// TForm3, the shutdown confirmation: a white window above all others with one question. The remote shows it
// when the shutdown key is held and shuts down on the next press of that key while it shows; the cancel key,
// Escape and its close button hide it.

#include <QWidget>

class App;
class QLabel;

class TForm3 final : public QWidget {
    Q_OBJECT

public:
    explicit TForm3(App& app);
    App& app;

    // Escape (character 27) hides the window; other keys do nothing.
    void FormKeyPress(QChar key);

    QLabel* Label1;

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};
