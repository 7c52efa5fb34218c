#pragma once

#include <QWidget>
#include <memory>

class DataView;
class Skin;
namespace Ui {
class FrmkLID;
}

// The scoring window: turns one subject's 33 answers into the three subscale scores, stores
// them, and prints the result of that subject or of all subjects. It stands in for the main
// window while it is open and brings it back when it closes.
class FrmkLID : public QWidget {
    Q_OBJECT
public:
    FrmkLID();
    ~FrmkLID() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private Q_SLOTS:
    void Form_Load();
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    void Command4_Click();
    void Command6_Click();
    void Command7_Click();
    void Form_Unload();

private:
    QString MissingItems() const;
    void ComputeScores();

    std::unique_ptr<Ui::FrmkLID> ui;
    DataView* Adodc1;
    DataView* Adodc2;
    DataView* Adodc3;
    DataView* Adodc5;
    DataView* Adodc6;
    Skin* Skin1;
};
