#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class Frmmoarefi;
}

// The introduction to the questionnaire: what it measures, its items and subscales, its
// psychometric properties and its scoring rule.
class Frmmoarefi : public QDialog {
    Q_OBJECT
public:
    explicit Frmmoarefi(QWidget* parent = nullptr);
    ~Frmmoarefi() override;

    static QString ScoringRule();

private Q_SLOTS:
    void Form_Load();

private:
    std::unique_ptr<Ui::Frmmoarefi> ui;
};
