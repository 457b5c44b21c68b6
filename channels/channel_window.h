#pragma once

#include <QWidget>

class App;

// TForm4, the channel picker strip.
class TForm4 final : public QWidget {
    Q_OBJECT

public:
    explicit TForm4(App& app);
    App& app;
};
