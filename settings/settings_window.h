#pragma once

// TForm2, the settings window. Its controls are the settings in memory: other windows read them directly.

#include <QWidget>

class App;
class QTabWidget;

class TForm2 final : public QWidget {
    Q_OBJECT

public:
    explicit TForm2(App& app);
    App& app;

    QTabWidget* PageControl1;
    QWidget* TabSheet1;  // "Общие"
    QWidget* TabSheet2;  // "WinLirc"
    QWidget* BottomPanel;
};
