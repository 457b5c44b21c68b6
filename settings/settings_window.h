#pragma once

#include <QWidget>

class App;

// TForm2, the settings window.
class TForm2 final : public QWidget {
    Q_OBJECT

public:
    explicit TForm2(App& app);
    App& app;
};
