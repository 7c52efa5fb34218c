#pragma once

#include <QDialog>
#include <memory>

class DataView;
class QButtonGroup;
class Skin;
namespace Ui {
class FrmTest;
}

// The window in which a subject answers the items one at a time. Every answer reaches the
// database file as soon as its option is clicked.
class FrmTest : public QDialog {
    Q_OBJECT
public:
    // The opening steps of "run test": asks for the code, checks it and shows the window
    // modally over owner.
    static void Run(QWidget* owner);
    // The same up to the showing: the window ready for the subject, or nullptr when the code
    // was refused (the user has been told why).
    static std::unique_ptr<FrmTest> Prepare(QWidget* owner);

    explicit FrmTest(QWidget* parent = nullptr);
    ~FrmTest() override;

    // The state of every opening after the first in a run: details shown, title hidden.
    void ResetForNextTest();

public Q_SLOTS:
    void done(int result) override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private Q_SLOTS:
    void Form_Load();
    void Command1_Click();
    void CmdNext_Click();
    void CmdBack_Click();
    void Option_Click(int value);
    void Option_Toggled(int value, bool checked);
    void Text6_Change();
    void Command5_Click();

private:
    void ShowItem(int item);
    void ShowAnswer();
    void SaveAll();
    void SetNumber(const QString& text);

    std::unique_ptr<Ui::FrmTest> ui;
    DataView* Adodc1;
    DataView* Adodc2;
    DataView* Adodc3;
    DataView* Adodc6;
    Skin* Skin1;
    QButtonGroup* options_;
    class FieldBinding* answer_; // Text12: the subject's answer to the item shown
    int item_ = 0;               // the item answers go to; 0 before the first is shown
    bool showingAnswer_ = false; // the options show what is stored: nothing to store
};
