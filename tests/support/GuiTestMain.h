#pragma once

// What every widgets test gets from the GUI test main it links instead of gtest_main: the one QApplication, made
// before the first test and gone after the last, and QString shown as its text in failure messages.

#include <QString>

#include <ostream>

void PrintTo(const QString &text, std::ostream *out);
