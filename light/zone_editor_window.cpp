#include "light/zone_editor_window.h"

#include <QGuiApplication>
#include <QScreen>

#include <QComboBox>

#include "app/application.h"
#include "app/main_window.h"
#include "app/window_setup.h"
#include "settings/ambilight_modes.h"
#include "settings/profile_file.h"

TForm5::TForm5(App& application) : QWidget(nullptr), app(application) {
    SetupWindow(this, "Form5", QStringLiteral("Form5"), Qt::Window | Qt::FramelessWindowHint, QSize(),
                QColor(0x80, 0x00, 0x80), 11);
    setGeometry(QGuiApplication::primaryScreen()->geometry());
}

void TForm5::saveAS() {
    const QString path = app.SettingsPath();
    ProfileFile file = ProfileFile::Load(path);
    QStringList modes;
    for (int i = 1; i < app.Form1->ComboBox1->count(); ++i) modes << app.Form1->ComboBox1->itemText(i);
    WriteModes(file, modes);
    file.Save(path);
}
