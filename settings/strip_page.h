#pragma once

// The settings window's page "Лента": the LED strip's output, how its colours are sent, and how it lies
// around the screen (see settings/strip_settings.h for what each value means). The page shows the values
// it is given and hands back what its fields hold; the window decides when they are saved. Fields that do
// not apply to the chosen output are disabled: the board uses none of them, Adalight its port and speed,
// WLED and DDP their address and UDP port.
//
// "Показать" shows the layout over the screen (light/strip_preview_window.h). While AmbiLight runs it is
// disabled, so that the preview is never sampled as a picture.

#include <QWidget>
#include <memory>

#include "settings/strip_settings.h"

class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class StripPreviewWindow;

class StripPage final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(StripPage)

public:
    StripPage();
    ~StripPage() override;

    // Puts `settings` into the fields.
    void Show(const StripSettings& settings);
    // What the fields hold.
    StripSettings Values() const;

    // Why the fields' layout cannot be used on the primary screen, or empty when it can; an output that uses
    // no strip (the board) has no fault.
    QString LayoutFault() const;

    // "Показать": shows the layout over the screen, or says why it cannot.
    void ShowButtonClick();
    // Ends the preview; answers whether it was shown.
    bool EndPreview();
    // AmbiLight runs: "Показать" is off, and a preview still shown ends.
    void SetAmbiLightOn(bool on);

    // Reads the computer's ports into the port list, keeping the chosen port (also when the computer no
    // longer lists it); none is chosen for the user. Runs when the page is first shown and each time the list
    // drops down.
    void FillPortList();
    bool PortListRead = false;

    QComboBox* OutputBox;
    QComboBox* SerialPortBox;
    QComboBox* BaudBox;
    QLineEdit* HostEdit;
    QSpinBox* UdpPortEdit;
    QComboBox* OrderBox;
    QSpinBox* BrightnessEdit;
    QDoubleSpinBox* GammaEdit;
    QSpinBox* SmoothingEdit;
    QSpinBox* LedsTopEdit;
    QSpinBox* LedsRightEdit;
    QSpinBox* LedsBottomEdit;
    QSpinBox* LedsLeftEdit;
    QComboBox* StartBox;
    QComboBox* DirectionBox;
    QSpinBox* GapEdit;
    QSpinBox* DepthEdit;
    QPushButton* ShowButton;

protected:
    void showEvent(QShowEvent* event) override;

private:
    // Enables the fields the chosen output uses, and names its own UDP port.
    void followOutput();
    // Chooses `baud` in the speed list, adding it when the list does not have it.
    void chooseBaud(int baud);

    std::unique_ptr<StripPreviewWindow> preview_;
    bool ambiLightOn_ = false;
};
