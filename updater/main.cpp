#include "shell/seams/ErrorTrap.h"
#include "updater/Progress.h"

int main(int argc, char** argv) {
    VornApplication app(argc, argv);
    VornApplication::setApplicationName(QStringLiteral("VORNupdate"));
    app.setUpLook();
    auto* window = new Progress;
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->show();
    return VornApplication::exec();
}
