#include "shell/seams/MainWindow.h"

namespace {
std::function<void()>& loader() {
    static std::function<void()> f;
    return f;
}
} // namespace

void MainWindow::setLoader(std::function<void()> f) {
    loader() = std::move(f);
}

void MainWindow::showAgain() {
    if (loader())
        loader()();
}
