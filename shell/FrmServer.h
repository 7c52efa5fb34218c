#pragma once

#include "data/Server.h"
#include "shell/seams/Dialogs.h"

#include <QDialog>
#include <functional>
#include <memory>

namespace Ui {
class FrmServer;
}

// The settings panel for the database on a server: writes the program folder's connection file
// (or removes it, back to the file on this computer) and tries a connection on request. What is
// saved is used from the program's next start.
class FrmServer : public QDialog {
    Q_OBJECT
public:
    explicit FrmServer(QWidget* parent = nullptr);
    ~FrmServer() override;

private Q_SLOTS:
    void CmdTest_Click();
    void CmdSave_Click();
    void CmdFile_Click();

private:
    // Tries the server on a thread of its own, then tells done what was found.
    void TryServer(const ServerSettings& settings,
                   std::function<void(const QString& said, bool usable)> done);
    void Save(const ServerSettings& settings);
    bool Settings(ServerSettings* settings);   // from the boxes; says what is missing
    void ShowNow(const Server::Read& current); // what the next start will use
    void Say(const QString& text, Dialogs::Icon icon);

    std::unique_ptr<Ui::FrmServer> ui;
    bool trying_ = false;
};
