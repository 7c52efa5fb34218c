#pragma once

#include <QDialog>
#include <memory>

class PictureButton;
namespace Ui {
class Frmskin;
}

// The short notice between a theme change and the main window drawn in the new theme.
class Frmskin : public QDialog {
    Q_OBJECT
public:
    explicit Frmskin(QWidget* parent = nullptr);
    ~Frmskin() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private Q_SLOTS:
    void Form_Load();
    void k2_Click();

private:
    std::unique_ptr<Ui::Frmskin> ui;
    PictureButton* ok_;
    bool mainShown_ = false;
};
