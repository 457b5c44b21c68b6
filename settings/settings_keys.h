#pragma once

// Sections and keys of settings.ini. The general section's keys are the captions of the settings window's
// controls (the labels' texts for the edit boxes), exactly as the window shows them; the window takes its
// captions from here.

#include <QString>
#include <QStringList>

namespace settings_keys {

inline const QString kGeneralSection = QStringLiteral("Общие настройки");
// The user-made AmbiLight modes: keys "1", "2", ... (unrelated to the general section's key "AmbiLight").
inline const QString kModesSection = QStringLiteral("AmbiLight");

// What the program keeps for itself: the desktop's token for the screen-capture consent the user gave.
inline const QString kOwnSection = QStringLiteral("Varnex");
inline const QString kScreenCastTokenKey = QStringLiteral("ScreenCastRestoreToken");

// The port list's label; the key ends in a blank.
inline const QString kPortKey = QStringLiteral("Выбор порта ");

// Captions of CheckBox1 to CheckBox9, in that order.
inline const QStringList kCheckBoxCaptions = {
    QStringLiteral("Подключаться к порту при запуске программы"),
    QStringLiteral("\"Выключать свет\" при запуске программы"),
    QStringLiteral("Запускать программу при загрузке Windows"),
    QStringLiteral("Сворачивать программу при запуске"),
    QStringLiteral("Открывать WinLirc при запуске программы"),
    QStringLiteral("Подключаться к WinLirc автоматически"),
    QStringLiteral("Создавать плейлист vk при запуске программы"),
    QStringLiteral("Использовать звук при нажатии нопки пульта"),
    QStringLiteral("Использовать подсказки в главном окне"),
};

// The flag of CheckBox<number> when the file has none: only the main window's hints (CheckBox9) are on.
constexpr bool CheckBoxDefault(int number) {
    return number == 9;
}

// Labels of LEdit0 to LEdit9, in that order.
inline const QStringList kLEditLabels = {
    QStringLiteral("Путь к WinLirc"),
    QStringLiteral("Воспроизвести / пауза"),
    QStringLiteral("Следующая песня"),
    QStringLiteral("Предыдущая песня"),
    QStringLiteral("Светомузыка"),
    QStringLiteral("AmbiLight"),
    QStringLiteral("Выкл. компьютера (3 секунды)"),
    QStringLiteral("Отмена"),
    QStringLiteral("Вкл / выкл монитор (3 секунды)"),
    QStringLiteral("ID контакта"),
};

}  // namespace settings_keys
