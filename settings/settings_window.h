#pragma once

// TForm2, the settings window. Its controls are the settings in memory: other windows read them directly.

#include <QWidget>

class App;
class QComboBox;
class QLabel;
class QPushButton;
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

    // Port row of "Общие" and its handlers (light/port_handlers.cpp).
    QLabel* Label1;        // "Выбор порта "
    QComboBox* ComBox;     // the computer's serial ports
    QPushButton* Button1;  // "Открыть"
    QPushButton* Button2;  // "Закрыть"
    void Button1Click();
    void Button2Click();
    void ComPortDeviceLost(const QString& errorText);

private:
    void buildPortRow();
};
