#include "shell/seams/Skin.h"

#include "core/Val.h"
#include "shell/seams/Platform.h"

#include <QDir>
#include <QFile>
#include <QWidget>
#include <cmath>

Skin::Skin(QObject* parent) : QObject(parent) {
    setObjectName(QStringLiteral("Skin1"));
}

const Skin::Table& Skin::standardFiles() {
    static const Table table{
        {1, QStringLiteral("chizh.skn")},       {2, QStringLiteral("Green.skn")},
        {3, QStringLiteral("galaxy.skn")},      {4, QStringLiteral("_temp.skn")},
        {5, QStringLiteral("B-Studio.skn")},    {6, QStringLiteral("Mac.skn")},
        {7, QStringLiteral("O-Universe.skn")},  {8, QStringLiteral("metallic.skn")},
        {9, QStringLiteral("Paper.skn")},       {10, QStringLiteral("winaqua.skn")},
        {11, QStringLiteral("office2007.skn")},
    };
    return table;
}

const Skin::Table& Skin::updateFiles() {
    static const Table table = [] {
        Table t = standardFiles();
        t[7] = QStringLiteral("TopSecret.skn");
        t[12] = QStringLiteral("OrionNext.skn");
        t[13] = QStringLiteral("Retro.skn");
        return t;
    }();
    return table;
}

bool Skin::loadSkin(const QString& fileName) {
    QFile file(QDir(Platform::get().programFolder()).filePath(fileName));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        loadedFile_.clear();
        styleSheet_.clear();
        return false;
    }
    loadedFile_ = fileName;
    styleSheet_ = QString::fromUtf8(file.readAll());
    return true;
}

void Skin::applySkin(QWidget* window) {
    if (window)
        window->setStyleSheet(styleSheet_);
}

void Skin::applyTheme(QWidget* window, const QString& themeText, const Table& table) {
    const double theme = Val(themeText);
    const bool whole = theme >= 0 && theme <= 1000 && theme == std::floor(theme);
    if (whole && table.contains(int(theme)))
        loadSkin(table.value(int(theme)));
    applySkin(window);
}
