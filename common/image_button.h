#pragma once

// TImage2: an image control that shows one named bitmap at its own size, unscaled, with the hand cursor, and
// raises click, pointer-entered and pointer-left. Disabled, the bitmap fades into the panel behind it.

#include <QPixmap>
#include <QString>
#include <QWidget>

class TImage2 final : public QWidget {
    Q_OBJECT

public:
    explicit TImage2(QWidget* parent = nullptr);

    // Shows the bitmap resource of that name in place of the old one.
    void LoadBitmap(const QString& resourceName);
    QString bitmapName() const { return name_; }

signals:
    void clicked();
    void mouseEntered();
    void mouseLeft();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    QPixmap pixmap_;
    QString name_;
    bool pressed_ = false;
};

// The bitmap resource of that name, from the program's compiled-in resources.
QPixmap LoadBitmapResource(const QString& resourceName);
// The path of the bitmap resource of that name.
QString ResourcePath(const QString& resourceName);
