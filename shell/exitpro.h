#pragma once

#include <QDialog>
#include <memory>

class PictureButton;
class QTimer;
namespace Ui {
class exitpro;
}

// Asked whenever the user leaves the main window: leave at once, back up first, or go back.
class exitpro : public QDialog {
    Q_OBJECT
public:
    explicit exitpro(QWidget* parent = nullptr);
    ~exitpro() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private Q_SLOTS:
    void Form_Load();
    void k2_Click();
    void C2_Click();
    void Timer2_Timer();
    void Timer3_Timer();
    void tmCaptionAnimate_Timer();

private:
    std::unique_ptr<Ui::exitpro> ui;
    PictureButton* ok_;
    PictureButton* cancel_;
    QTimer* Timer2;
    QTimer* Timer3;
    QTimer* tmCaptionAnimate;
};
