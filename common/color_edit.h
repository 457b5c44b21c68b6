#pragma once

// The light row's colour box: a swatch of the selected colour (white while disabled, empty before the first
// choice) with a drop-down button that opens a grid of standard colours. Choosing a colour in the grid sets
// it and raises Change, even when the same colour is chosen again; closing the grid without a choice does
// nothing.

#include <QColor>
#include <QWidget>
#include <optional>

class ColorEdit final : public QWidget {
    Q_OBJECT

public:
    explicit ColorEdit(QWidget* parent = nullptr);

    // The selected colour as 0x00BBGGRR; nullopt before the first choice.
    std::optional<quint32> SelectedColor() const { return selected_; }
    // Sets the colour from code; raises no Change.
    void SetSelectedColor(quint32 bgr);

    // The standard colours the grid offers, 0x00BBGGRR.
    static const QList<quint32>& GridColors();
    // Chooses a grid colour as the user would: sets it and raises Change.
    void ChooseFromGrid(quint32 bgr);

signals:
    void Change();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void openGrid();
    std::optional<quint32> selected_;
};

QColor ColorFromBgr(quint32 bgr);
quint32 BgrFromColor(const QColor& color);
