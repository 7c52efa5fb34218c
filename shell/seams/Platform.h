#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

// What the program asks of the operating system, behind one seam so tests can record it.
class Platform {
public:
    // How a started program's window is shown.
    enum class WindowStyle { Hidden = 0, Normal = 1, Minimized = 2, Maximized = 3 };

    virtual ~Platform() = default;

    // Starts a program without waiting for it; false when it could not be started.
    virtual bool startProgram(const QString& program, const QStringList& arguments,
                              WindowStyle style) = 0;
    // Opens a web address with the desktop's default handler, without waiting.
    virtual bool openUrl(const QString& url) = 0;
    // Whether another copy of the program already runs on the same program folder.
    virtual bool anotherCopyRunning() = 0;
    // After anotherCopyRunning(): why the single-copy lock could not be taken when no other copy
    // holds it (a folder that cannot be written, say), or an empty text.
    virtual QString singleCopyProblem() const { return {}; }
    // Ends the program at once: no further window handler runs and nothing is saved.
    virtual void endProgramNow() = 0;
    // The folder of the executables, the skin files and DBVORN/.
    virtual QString programFolder() const = 0;
    virtual QDateTime now() const = 0;
    // The desktop's calculator program, or an empty text when none is installed.
    virtual QString calculator() const = 0;

    static Platform& get();
    // Puts another implementation in place (tests); nullptr restores the real one.
    static void install(Platform* platform);
};
