#pragma once

#include "shell/Frm1.h"
#include "shell/seams/ErrorTrap.h"
#include "shell/seams/MainWindow.h"

#include <QString>
#include <QTest>

// A text of the program's, as the tests write it.
inline QString u(const char* text) {
    return QString::fromUtf8(text);
}

// Like QTEST_MAIN, but with the program's own application object, so errors that escape a
// handler are trapped exactly as in the program.
#define VORN_TEST_MAIN(TestClass)                                                                  \
    int main(int argc, char** argv) {                                                              \
        VornApplication app(argc, argv);                                                           \
        MainWindow::setLoader([] { Frm1::load(); });                                               \
        TestClass test;                                                                            \
        QTEST_SET_MAIN_SOURCE_PATH                                                                 \
        return QTest::qExec(&test, argc, argv);                                                    \
    }
