#include "research/GroupReport.h"

#include "data/Content.h"
#include "data/Database.h"
#include "data/Subjects.h"
#include "report/Report.h"
#include "scoring/Scoring.h"

#include <cmath>

namespace GroupReport {

namespace {

std::array<QList<int>, Statistics::Subscales> subscaleItems() {
    std::array<QList<int>, Statistics::Subscales> items;
    for (size_t i = 0; i < items.size(); ++i)
        items[i] = Scoring::key()[i].items;
    return items;
}

// A stored text as a number, NaN when it is empty or none.
double value(const QVariant& v) {
    bool ok = false;
    const double x = v.toString().trimmed().toDouble(&ok);
    return ok && std::isfinite(x) ? x : std::nan("");
}

ReportItem item(ReportItem::Kind kind, const QString& text, QRect rect, int pointSize = 9,
                bool bold = false, Qt::Alignment align = Qt::AlignRight | Qt::AlignVCenter) {
    ReportItem i;
    i.kind = kind;
    i.name = text;
    i.text = text;
    i.rect = rect;
    i.pointSize = pointSize;
    i.bold = bold;
    i.align = align;
    return i;
}

constexpr int Width = 10800; // twips: A4 inside its margins
constexpr int Line = 300;

// The columns of a subscale line, right to left as the page reads.
struct ColumnPlace {
    const char* caption;
    const char* suffix;
    int left, width;
};
const ColumnPlace kColumns[] = {
    {"زيرمقياس", "name", 8800, 2000},   {"ميانگين", "mean", 7700, 1100},
    {"انحراف معيار", "sd", 6400, 1300}, {"کمترين", "min", 5400, 1000},
    {"بيشترين", "max", 4400, 1000},     {"آلفاي کرونباخ", "alpha", 1600, 2800}};

} // namespace

// Marked left to right, so a minus stays before its number in a right-to-left line.
QString number(double v) {
    return std::isnan(v) ? QStringLiteral("—")
                         : QChar(0x200E) + QString::number(v, 'f', 2) + QChar(0x200E);
}

QString alphaText(double alpha, qint64 count) {
    if (std::isnan(alpha))
        return QString::fromUtf8("تعریف نمی‌شود (%1 نفر)").arg(count);
    return QString::fromUtf8("%1 (%2 نفر)").arg(number(alpha)).arg(count);
}

Figures compute() {
    Figures f;
    QStringList select{QStringLiteral("i.\"Group\"")};
    for (const Scoring::Subscale& s : Scoring::key())
        select << QStringLiteral("i.\"%1\"").arg(QString::fromLatin1(s.field));
    for (int item = 1; item <= Statistics::Items; ++item)
        select << QStringLiteral("a.\"%1\"").arg(item);
    Subjects::Cursor q(select);
    Statistics::Groups groups(subscaleItems());
    Statistics::Subject s;
    while (q.next()) {
        s.group = q.value(0).toString();
        bool scored = true;
        for (int i = 0; i < Statistics::Subscales; ++i) {
            s.scores[size_t(i)] = value(q.value(1 + i));
            scored = scored && !std::isnan(s.scores[size_t(i)]);
        }
        if (!scored) {
            ++f.notScored;
            continue;
        }
        for (int i = 0; i < Statistics::Items; ++i)
            s.answers[size_t(i)] = value(q.value(1 + Statistics::Subscales + i));
        groups.add(s);
    }
    if (const QString failure = q.failure(); !failure.isEmpty())
        throw DataError(failure); // figures of a part of the subjects would mislead
    f.groups = groups.result();
    if (f.groups.size() == 1 && f.groups.front().scored == 0)
        f.groups.clear(); // nobody scored: nothing to report but the count
    return f;
}

std::unique_ptr<Report> report(const Figures& figures, const QString& clinic) {
    ReportLayout layout;
    layout.title = QString::fromUtf8("آمار گروه‌ها");
    layout.width = Width;

    layout.reportHeader.name = QStringLiteral("Section4");
    layout.reportHeader.height = 1500;
    layout.reportHeader.items << item(ReportItem::Kind::Label,
                                      QString::fromUtf8("آمار گروه‌ها"),
                                      QRect(0, 0, Width, 500), 16, true, Qt::AlignCenter);
    ReportItem name = item(ReportItem::Kind::Label, clinic, QRect(0, 500, Width, 400), 11, false,
                           Qt::AlignCenter);
    name.name = QStringLiteral("Clinic");
    layout.reportHeader.items << name;
    ReportItem left = item(
        ReportItem::Kind::Label,
        QString::fromUtf8(
            "آزمودنی‌هایی که هنوز نمره‌گذاری نشده‌اند و در این آمار نیامده‌اند: %1")
            .arg(figures.notScored),
        QRect(0, 950, Width, 400), 10);
    left.name = QStringLiteral("NotScored");
    layout.reportHeader.items << left;

    QStringList fields{QStringLiteral("title")};
    layout.detail.name = QStringLiteral("Section1");
    QList<ReportItem>& d = layout.detail.items;
    d << item(ReportItem::Kind::Field, QStringLiteral("title"), QRect(0, 100, Width, 400), 12,
              true);
    d << item(ReportItem::Kind::Line, QString(), QRect(0, 520, Width, 0));
    int y = 560;
    for (const ColumnPlace& c : kColumns)
        d << item(ReportItem::Kind::Label, QString::fromUtf8(c.caption),
                  QRect(c.left, y, c.width, Line), 9, true);
    for (int s = 0; s < Statistics::Subscales; ++s) {
        y += Line;
        for (const ColumnPlace& c : kColumns) {
            const QString field = QStringLiteral("s%1_%2").arg(s).arg(QLatin1String(c.suffix));
            fields << field;
            d << item(ReportItem::Kind::Field, field, QRect(c.left, y, c.width, Line));
        }
    }
    // The means as bars on the 1 to 5 scale, drawn under a frame of the whole scale.
    y += Line + 100;
    d << item(
        ReportItem::Kind::Label,
        QString::fromUtf8("میانگین زیرمقیاس‌ها روی مقیاس ۱ تا ۵"),
        QRect(0, y, Width, Line), 9, true);
    for (int s = 0; s < Statistics::Subscales; ++s) {
        y += Line;
        d << item(ReportItem::Kind::Label, QString::fromUtf8(Scoring::key()[size_t(s)].caption),
                  QRect(8800, y, 2000, Line));
        ReportItem frame =
            item(ReportItem::Kind::Frame, QString(), QRect(1600, y + 40, 7000, Line - 80));
        frame.color = QColor(120, 120, 120);
        frame.fill = QColor(240, 240, 240);
        d << frame;
        ReportItem bar = item(ReportItem::Kind::Bar, QStringLiteral("s%1_mean").arg(s),
                              QRect(1600, y + 40, 7000, Line - 80));
        bar.fill = QColor(47, 111, 143);
        bar.low = 1;
        bar.high = 5;
        d << bar;
        d << item(ReportItem::Kind::Field, QStringLiteral("s%1_mean").arg(s),
                  QRect(600, y, 900, Line));
    }
    y += Line + 100;
    d << item(ReportItem::Kind::Label, QString::fromUtf8("میانگین هر سؤال"),
              QRect(0, y, Width, Line), 9, true);
    y += Line;
    for (int i = 0; i < Statistics::Items; ++i) {
        const QString field = QStringLiteral("item%1").arg(i + 1);
        fields << field;
        const int column = i % 11, row = i / 11;
        d << item(ReportItem::Kind::Field, field,
                  QRect(Width - (column + 1) * (Width / 11), y + row * Line, Width / 11, Line), 8);
    }
    layout.detail.height = y + 3 * Line + 200;

    QList<QStringList> rows;
    for (qsizetype g = 0; g < figures.groups.size(); ++g) {
        const Statistics::Group& group = figures.groups[g];
        const QString title = g == 0 ? QString::fromUtf8("همهٔ آزمودنی‌ها")
                              : group.name.isEmpty() ? QString::fromUtf8("بدون گروه")
                                                     : QString::fromUtf8("گروه %1").arg(group.name);
        QStringList row{QString::fromUtf8("%1 — نمره‌گذاری‌شده: %2 نفر")
                            .arg(title)
                            .arg(group.scored)};
        for (int s = 0; s < Statistics::Subscales; ++s) {
            const Statistics::Summary& sum = group.scores[size_t(s)];
            row << QString::fromUtf8(Scoring::key()[size_t(s)].caption) << number(sum.mean)
                << number(sum.sd) << number(sum.min) << number(sum.max)
                << alphaText(group.alpha[size_t(s)], group.alphaCount[size_t(s)]);
        }
        for (int i = 0; i < Statistics::Items; ++i)
            row << QString::fromUtf8("%1: %2").arg(i + 1).arg(number(group.itemMeans[size_t(i)]));
        rows << row;
    }
    auto r = std::make_unique<Report>(std::move(layout));
    r->setRows(fields, rows);
    return r;
}

} // namespace GroupReport
