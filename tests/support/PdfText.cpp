#include "tests/support/PdfText.h"

#include <QProcess>
#include <QRegularExpression>
#include <algorithm>

namespace PdfText {

namespace {

bool arabic(const QString& s) {
    return std::any_of(s.begin(), s.end(),
                       [](QChar c) { return c.script() == QChar::Script_Arabic; });
}

} // namespace

QList<Word> words(const QString& pdf) {
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), pdf, QStringLiteral("-")});
    p.waitForFinished(60000);
    const QString html = QString::fromUtf8(p.readAllStandardOutput());

    QList<Word> pieces;
    int page = 0;
    static const QRegularExpression re(
        R"re(<page |<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)</word>)re");
    for (auto it = re.globalMatch(html); it.hasNext();) {
        const auto m = it.next();
        if (m.captured(0).startsWith(QStringLiteral("<page"))) {
            ++page;
            continue;
        }
        QString t = m.captured(5);
        t.replace(QStringLiteral("&amp;"), QStringLiteral("&"))
            .replace(QStringLiteral("&lt;"), QStringLiteral("<"))
            .replace(QStringLiteral("&gt;"), QStringLiteral(">"))
            .replace(QStringLiteral("&quot;"), QStringLiteral("\""));
        pieces.append({t,
                       QRectF(QPointF(m.captured(1).toDouble(), m.captured(2).toDouble()),
                              QPointF(m.captured(3).toDouble(), m.captured(4).toDouble())),
                       page});
    }
    // Glyphs of one Persian word touch each other on one line.
    std::stable_sort(pieces.begin(), pieces.end(), [](const Word& a, const Word& b) {
        if (a.page != b.page)
            return a.page < b.page;
        if (std::abs(a.box.top() - b.box.top()) > 0.5)
            return a.box.top() < b.box.top();
        return a.box.left() < b.box.left();
    });
    QList<Word> joined;
    for (const Word& w : pieces) {
        if (!joined.isEmpty()) {
            Word& last = joined.last();
            const bool touching = last.page == w.page &&
                                  std::abs(last.box.top() - w.box.top()) < 0.5 &&
                                  w.box.left() - last.box.right() < 0.6;
            if (touching && arabic(last.text) && arabic(w.text)) {
                last.text += w.text;
                last.box = last.box.united(w.box);
                continue;
            }
        }
        joined.append(w);
    }
    for (Word& w : joined) {
        if (arabic(w.text))
            std::reverse(w.text.begin(), w.text.end());
        w.text = normalized(w.text);
    }
    return joined;
}

QString normalized(const QString& text) {
    QString n = text.normalized(QString::NormalizationForm_KC);
    n.replace(QChar(0x064A), QChar(0x06CC)).replace(QChar(0x0643), QChar(0x06A9));
    return n;
}

QString text(const QString& pdf) {
    QList<Word> all = words(pdf);
    std::stable_sort(all.begin(), all.end(), [](const Word& a, const Word& b) {
        if (a.page != b.page)
            return a.page < b.page;
        if (std::abs(a.box.top() - b.box.top()) > 2)
            return a.box.top() < b.box.top();
        return a.box.left() > b.box.left();
    });
    QString out;
    for (qsizetype i = 0; i < all.size(); ++i) {
        if (i > 0)
            out += std::abs(all[i].box.top() - all[i - 1].box.top()) > 2 ? QLatin1Char('\n')
                                                                         : QLatin1Char(' ');
        out += all[i].text;
    }
    return out;
}

QRectF find(const QList<Word>& words, const QString& text, int nth) {
    const QString wanted = normalized(text);
    for (const Word& w : words)
        if (w.text == wanted && nth-- == 0)
            return w.box;
    return {};
}

} // namespace PdfText
