#pragma once

#include <QWidget>

class App;

// TForm6, the About window.
class TForm6 final : public QWidget {
    Q_OBJECT

public:
    explicit TForm6(App& app);
    App& app;
};
