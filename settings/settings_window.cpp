#include "settings/settings_window.h"

#include <QTabWidget>

#include "app/window_setup.h"

TForm2::TForm2(App& application) : QWidget(nullptr), app(application) {
    SetupWindow(this, "Form2", QStringLiteral("Varnex | Настройки"),
                Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint, {361, 500}, Qt::white, 12);
    CentreOnScreen(this);

    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    PageControl1->setGeometry(8, 8, 345, 433);
    TabSheet1 = new QWidget;
    TabSheet1->setObjectName(QStringLiteral("TabSheet1"));
    TabSheet2 = new QWidget;
    TabSheet2->setObjectName(QStringLiteral("TabSheet2"));
    PageControl1->addTab(TabSheet1, QStringLiteral("Общие"));
    PageControl1->addTab(TabSheet2, QStringLiteral("WinLirc"));
    buildPortRow();

    // The white strip along the bottom holds the save and cancel buttons.
    BottomPanel = new QWidget(this);
    BottomPanel->setObjectName(QStringLiteral("BottomPanel"));
    BottomPanel->setGeometry(0, 500 - 58, 361, 58);
}
