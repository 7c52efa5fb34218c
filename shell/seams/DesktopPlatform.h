#pragma once

#include "shell/seams/Platform.h"

#include <QLockFile>
#include <memory>

class DesktopPlatform : public Platform {
public:
    bool startProgram(const QString& program, const QStringList& arguments,
                      WindowStyle style) override;
    bool openUrl(const QString& url) override;
    bool anotherCopyRunning() override;
    QString singleCopyProblem() const override { return problem_; }
    [[noreturn]] void endProgramNow() override;
    QString programFolder() const override;
    QDateTime now() const override { return QDateTime::currentDateTime(); }
    QString calculator() const override;

private:
    std::unique_ptr<QLockFile> lock_;
    bool another_ = false;
    QString problem_;
};
