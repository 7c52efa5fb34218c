#pragma once

#include <QMap>
#include <QObject>
#include <QString>

class QWidget;

// The theme engine: a skin file is a Qt style sheet in the program folder. A window holds one
// Skin (named "Skin1"); loading a file that is missing or unreadable leaves the default look.
class Skin : public QObject {
    Q_OBJECT
public:
    using Table = QMap<int, QString>;

    explicit Skin(QObject* parent = nullptr);

    // Theme number to skin file, for every skinned window but the update window.
    static const Table& standardFiles();
    // The update window's own table: 7 is "TopSecret.skn", 12 and 13 exist only there.
    static const Table& updateFiles();

    bool loadSkin(const QString& fileName);
    void applySkin(QWidget* window);
    const QString& loadedFile() const { return loadedFile_; }

    // The theme step of a window's load: the stored theme text read as a number; a number the
    // table names loads its file; the skin is applied in every case.
    void applyTheme(QWidget* window, const QString& themeText,
                    const Table& table = standardFiles());

private:
    QString loadedFile_;
    QString styleSheet_;
};
