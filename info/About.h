#pragma once

#include <QDialog>
#include <QStringList>
#include <array>
#include <memory>

namespace Ui {
class About;
}

class QLabel;
class QLineEdit;
class QTimer;

// The about window: the program's name and our credit and contact lines, scrolling up in turn,
// with a colour and a credit animation.
class About : public QDialog {
    Q_OBJECT
public:
    explicit About(QWidget* parent = nullptr);
    ~About() override;

    // The credit sentence as it is finally read, and as it starts: its letters spread apart by
    // blanks and points between its words.
    static QString CreditSentence();
    static QString SpreadCredit();

    // The animations' state, in the window's own units (twips), for whoever drives them.
    int LabelTop(int label) const { return tops_[size_t(label - 1)]; }
    void SetLabelTop(int label, int top);
    int LineCounter() const { return lineCounter_; }
    void SetLineCounter(int counter) { lineCounter_ = counter; }
    static int ColourCounter() { return colourCounter_; }
    const QString& Line(int slot) const { return lines_[slot - 1]; }

public Q_SLOTS:
    void Timer10_Timer();
    void Timer1_Timer();
    void Timer3_Timer();

private Q_SLOTS:
    void Form_Load();
    void Command1_Click();

private:
    std::unique_ptr<Ui::About> ui;
    QLabel* label(int n) const { return labels_[size_t(n - 1)]; }
    void placeLabel(int n);

    std::array<QLabel*, 4> labels_{};
    std::array<int, 4> tops_{};
    QStringList lines_;
    int lineCounter_ = 0;
    QString search_;
    QString replacement_;
    QLineEdit* Text1;
    QTimer* Timer1;
    QTimer* Timer3;
    QTimer* Timer10;
    static int colourCounter_; // survives between openings
};
