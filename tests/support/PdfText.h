#pragma once

#include <QList>
#include <QRectF>
#include <QString>

// Reads back the text of a PDF the program wrote, with poppler's pdftotext. Persian comes out
// of it glyph by glyph in visual order and in presentation forms; the glyphs are joined into
// words again, put in reading order and normalised, so tests can look for the program's texts.
namespace PdfText {

struct Word {
    QString text;
    QRectF box; // in points, from the page's top left
    int page = 0;
};

QList<Word> words(const QString& pdf);
// Joined glyphs cannot tell Arabic from Persian yeh and kaf; both sides of a comparison go
// through this.
QString normalized(const QString& text);
// Every word, line by line from the top, each line right to left; words separated by blanks.
QString text(const QString& pdf);
// The first word equal to text (after skipping nth matches, both normalised), or an empty box.
QRectF find(const QList<Word>& words, const QString& text, int nth = 0);

} // namespace PdfText
