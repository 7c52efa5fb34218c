#pragma once

#include <QDialog>
#include <memory>

class DataView;
class Inet;
class Skin;
namespace Ui {
class FrmUpdate;
}

// Compares the running version with the one published on the maker's site and, when a newer
// one exists, starts the updater and ends the program.
class FrmUpdate : public QDialog {
    Q_OBJECT
public:
    explicit FrmUpdate(QWidget* parent = nullptr);
    ~FrmUpdate() override;

    // Downloads an address into a file with one blocking call; always answers 0.
    int DLfile(const QString& path, const QString& address);

public Q_SLOTS:
    void done(int result) override;

private Q_SLOTS:
    void Form_Load();
    void Command1_Click();
    void Command2_Click();

private:
    std::unique_ptr<Ui::FrmUpdate> ui;
    DataView* Adodc1;
    Inet* Inet1;
    Skin* Skin1;
    bool closing_ = false; // closed while a check waited for the site
};
