#pragma once

#include "shell/seams/Busy.h"

#include <QWidget>
#include <memory>

class DataView;
class Skin;
class QTimer;
namespace Ui {
class Frmbackup;
}

// The last step of leaving the program: copies the database file to a backup file, or a backup
// file back over the database. Every way out of it ends the program.
class Frmbackup : public QWidget {
    Q_OBJECT
public:
    Frmbackup();
    ~Frmbackup() override;

    // "در تاريخ1391.1.5 ساعت)9.05).mdbB" for 1391/1/5 at 9:05.
    static QString ProposedFileName(const QString& date, const QString& hourMinute);
    // The hour without a leading zero, a point, the minutes with two digits: "9.05".
    static QString HourMinute(const QTime& time);

protected:
    void closeEvent(QCloseEvent* event) override;

private Q_SLOTS:
    void Form_Load();
    void Timer1_Timer();
    void b1_Click();
    void b2_Click();
    void VisualButtonEx2_Click();
    void VisualButtonEx3_Click();
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();

private:
    QString DatabaseFile() const;
    QString BackupFolder() const;
    void SetCopying(bool copying);
    void CopyFailed(const QString& error);
    class Copying {
    public:
        explicit Copying(Frmbackup* window);
        ~Copying();

    private:
        Frmbackup* window_;
        std::unique_ptr<Busy> held_;
    };
    int CopyDatabaseTo(const QString& target);
    bool Restore(const QString& source);

    std::unique_ptr<Ui::Frmbackup> ui;
    DataView* Adodc1;
    Skin* Skin1;
    QTimer* Timer1;
    bool copying_ = false;
};
