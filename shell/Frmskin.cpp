#include "shell/Frmskin.h"

#include "shell/Frm1.h"
#include "shell/seams/ErrorTrap.h"
#include "shell/seams/PictureButton.h"
#include "shell/seams/Twips.h"
#include "ui_Frmskin.h"

#include <QCloseEvent>
#include <QKeyEvent>

Frmskin::Frmskin(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::Frmskin>()) {
    ui->setupUi(this);
    scaleDesign(this);
    setAttribute(Qt::WA_DeleteOnClose);
    ok_ = new PictureButton(ui->k1, ui->k2, QStringLiteral(":/shell/pictures/ok.svg"),
                            QStringLiteral(":/shell/pictures/ok-hot.svg"), tr("تأیید"));
    setMouseTracking(true);
    installEventFilter(this);
    connectHandler(ok_, &PictureButton::clicked, this, &Frmskin::k2_Click);
    Form_Load();
}

Frmskin::~Frmskin() = default;

void Frmskin::Form_Load() {
    placeWindow(this, 5000, 3500);
    ok_->showNormal();
}

bool Frmskin::eventFilter(QObject* watched, QEvent* event) {
    if (watched == this && event->type() == QEvent::MouseMove)
        ok_->showNormal();
    return QDialog::eventFilter(watched, event);
}

void Frmskin::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter ||
        event->key() == Qt::Key_Escape) {
        k2_Click();
        return;
    }
    QDialog::keyPressEvent(event);
}

// The main window loads afresh and draws itself in the new theme.
void Frmskin::k2_Click() {
    close();
}

// However the notice goes, the main window comes back: it is the only way on.
void Frmskin::closeEvent(QCloseEvent* event) {
    if (!mainShown_) {
        mainShown_ = true;
        Frm1::load();
    }
    QDialog::closeEvent(event);
}
