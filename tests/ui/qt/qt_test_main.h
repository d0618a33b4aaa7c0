#pragma once

#include <QApplication>
#include <QTest>

#include "ui/qt/window_look.h"

// A QtTest main that gives the tests the program's own look (style, font,
// icon) and, unless told otherwise, a screen that needs no display.
#define TAMRO_QT_TEST_MAIN(TestClass)                                          \
    int main(int argc, char** argv) {                                          \
        if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {                   \
            qputenv("QT_QPA_PLATFORM", "offscreen");                           \
        }                                                                      \
        QApplication app(argc, argv);                                          \
        tamro::qt::applyWindowLook(app);                                       \
        TestClass test;                                                        \
        return QTest::qExec(&test, argc, argv);                                \
    }
