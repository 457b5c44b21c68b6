#pragma once

// The serial port lists' combo box: the ports are read again each time its list is about to drop down, so
// that a board plugged in meanwhile is there to choose.

#include <QComboBox>
#include <functional>

// A combo box that runs `beforePopup` each time its list is about to drop down.
class PortBox final : public QComboBox {
public:
    PortBox(QWidget* parent, std::function<void()> beforePopup)
        : QComboBox(parent), beforePopup_(std::move(beforePopup)) {}
    void showPopup() override {
        beforePopup_();
        QComboBox::showPopup();
    }

private:
    std::function<void()> beforePopup_;
};
