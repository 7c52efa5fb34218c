#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QWidget>
#include <memory>

class DataView;
class Report;
class DataViewModel;
class QComboBox;
class Skin;
namespace Ui {
class FrmCode;
}

// The subject records window: finds subjects by last name, first name or group, deletes a
// subject with the subject's answers, and prints the results of one group. It stands in for
// the main window while it is open and brings it back when it closes.
class FrmCode : public QWidget {
    Q_OBJECT
public:
    FrmCode();
    ~FrmCode() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private Q_SLOTS:
    void Form_Load();
    void DataCombo1_Change();
    void DataCombo6_Change();
    void Combo3_Change();
    void Command1_Click();
    void Command2_Click();
    void Command6_Click();
    void CmdExport_Click();
    void CmdStats_Click();
    void Form_Unload();

private:
    void Search(QComboBox* changed, const char* field);
    void FillNameLists();
    QList<QPair<QComboBox*, QString>> NameLists() const;
    void DeleteSubject();

    std::unique_ptr<Ui::FrmCode> ui;
    DataView* Adodc1;
    DataView* Adodc2;
    DataView* Adodc3;
    DataView* Adodc4;
    DataViewModel* grid_;
    Skin* Skin1;
    std::unique_ptr<Report> stats_; // the last group statistics presented
};
