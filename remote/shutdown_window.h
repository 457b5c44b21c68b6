#pragma once

#include <QWidget>

class App;

// TForm3, the shutdown confirmation.
class TForm3 final : public QWidget {
    Q_OBJECT

public:
    explicit TForm3(App& app);
    App& app;
};
