#pragma once

#include "shell/seams/Platform.h"

#include <QList>

// Records what the program asks of the system and never ends the test process.
class FakePlatform : public Platform {
public:
    struct Started {
        QString program;
        QStringList arguments;
        WindowStyle style;
    };

    explicit FakePlatform(const QString& folder) : folder_(folder) { install(this); }
    ~FakePlatform() override { install(nullptr); }

    bool startProgram(const QString& program, const QStringList& arguments,
                      WindowStyle style) override {
        started.append({program, arguments, style});
        return startSucceeds;
    }
    bool openUrl(const QString& url) override {
        openedUrls.append(url);
        return true;
    }
    bool anotherCopyRunning() override { return anotherCopy; }
    QString singleCopyProblem() const override { return lockProblem; }
    void endProgramNow() override { ++endedNow; }
    QString programFolder() const override { return folder_; }
    QDateTime now() const override {
        return clock.isValid() ? clock : QDateTime::currentDateTime();
    }
    QString calculator() const override { return calculatorPath; }

    QList<Started> started;
    QStringList openedUrls;
    bool anotherCopy = false;
    QString lockProblem;
    bool startSucceeds = true;
    int endedNow = 0;
    QDateTime clock;
    QString calculatorPath;

private:
    QString folder_;
};
