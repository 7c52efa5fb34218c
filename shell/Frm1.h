#pragma once

#include <QElapsedTimer>
#include <QWidget>
#include <memory>

class DataView;
class Inet;
class Skin;
namespace Ui {
class Frm1;
}

// The main window: the menu column, the version labels and the panels inside it.
class Frm1 : public QWidget {
    Q_OBJECT
public:
    // Loads the main window afresh (constructs it, runs its load steps and shows it).
    // Returns nullptr when the load steps ended the program.
    static Frm1* load();
    // The single-copy rule: when another copy runs on this program folder, tells the user and
    // ends the program. Returns true when the program is ending.
    static bool refuseSecondCopy(QWidget* owner);
    ~Frm1() override;

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private Q_SLOTS:
    bool Form_Load();
    void Form_Activate();
    void Form_Unload();
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    void Command4_Click();
    void Cmdupdate_Click();
    void Command11_Click();
    void Command12_Click();
    void Command8_Click();
    void Command9_Click();
    void Command46_Click();
    void Command64_Click();
    void Command67_Click();
    void Command68_Click();
    void Command69_Click();
    void CmdServer_Click();
    void Command7_Click();
    void Theme_Click(int theme);
    void Command10_Click();
    void Command5_Click();
    void Command6_Click();
    void CmdHelp_Click();
    void Command14_Click();
    void Picture1_Click();
    void Inet1_TextFetched(const QString& text);

private:
    Frm1();
    void ClosePanels();
    void ShowInstead(QWidget* window);
    void ShowHoverHelp(const QString& text);
    void SuggestNextCode();
    void OfferNextCode();
    bool RegistrationComplete();

    std::unique_ptr<Ui::Frm1> ui;
    DataView* Adodc1;
    DataView* Adodc2;
    DataView* Adodc3;
    DataView* Adodc5;
    Skin* Skin1;
    Inet* Inet1;
    QElapsedTimer loaded_; // since the load ran the activation steps
};
