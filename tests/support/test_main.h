#pragma once

// A Qt Test main that prepares the application as the program does before the windows are made.

#include <QAbstractItemModel>
#include <QApplication>
#include <QTemporaryDir>
#include <QTest>

#include "app/application.h"
#include "app/main_window.h"

// The application object over a folder of its own, so that no settings.ini of another run is read.
struct TestApp {
    QTemporaryDir folder;
    App app{folder.path()};
};

// The application with its main window shown, as the program starts; `exposed` tells whether it came up.
struct ShownMainWindow : TestApp {
    TForm1& form = *app.Form1;
    const bool exposed = (form.show(), QTest::qWaitForWindowExposed(&form));
};

// The texts of the items of a list or a combo box, in order.
inline QStringList ItemTexts(const QAbstractItemModel* model) {
    QStringList texts;
    for (int row = 0; row < model->rowCount(); ++row) texts << model->index(row, 0).data().toString();
    return texts;
}

#define VARNEX_TEST_MAIN(TestClass)             \
    int main(int argc, char** argv) {           \
        QApplication application(argc, argv);   \
        App::Prepare();                         \
        TestClass test;                         \
        return QTest::qExec(&test, argc, argv); \
    }
