#pragma once

#include <QWidget>

class App;

// TForm5, the AmbiLight zone editor: a borderless window over the whole screen.
class TForm5 final : public QWidget {
    Q_OBJECT

public:
    explicit TForm5(App& app);
    App& app;

    // Rewrites the stored AmbiLight modes from the main window's mode list: every item after the built-in
    // first one, numbered from 1 in list order.
    void saveAS();
};
