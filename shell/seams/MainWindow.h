#pragma once

#include <functional>

// The windows that take the main window's place bring it back when they close. They know it
// only through this hook, which the program (and each test program) sets at start-up.
namespace MainWindow {

void setLoader(std::function<void()> loader);
// Loads the main window afresh; does nothing when no loader is set.
void showAgain();

} // namespace MainWindow
