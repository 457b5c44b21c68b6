#pragma once

// A Qt Test main that prepares the application as the program does before the windows are made.

#include <QApplication>
#include <QTest>

#include "app/application.h"

#define VARNEX_TEST_MAIN(TestClass)             \
    int main(int argc, char** argv) {           \
        QApplication application(argc, argv);   \
        App::Prepare();                         \
        TestClass test;                         \
        return QTest::qExec(&test, argc, argv); \
    }
