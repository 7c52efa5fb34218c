#include "scoring/Reports.h"

#include "core/Site.h"
#include "report/Report.h"
#include "scoring/Scoring.h"

namespace {

using Kind = ReportItem::Kind;

QString t(const char* utf8) {
    return QString::fromUtf8(utf8);
}

ReportItem label(const char* name, QRect rect, const QString& caption, int points = 9,
                 bool bold = false) {
    ReportItem item;
    item.kind = Kind::Label;
    item.name = QString::fromLatin1(name);
    item.rect = rect;
    item.text = caption;
    item.pointSize = points;
    item.bold = bold;
    return item;
}

ReportItem field(const char* name, QRect rect, const char* fieldName) {
    ReportItem item;
    item.kind = Kind::Field;
    item.name = QString::fromLatin1(name);
    item.rect = rect;
    item.text = QString::fromLatin1(fieldName);
    item.pointSize = 8;
    return item;
}

ReportItem line(QRect rect, QColor color = Qt::black) {
    ReportItem item;
    item.kind = Kind::Line;
    item.rect = rect;
    item.color = color;
    return item;
}

ReportItem fill(QRect rect, QColor color, int radius = 0) {
    ReportItem item;
    item.kind = Kind::Fill;
    item.rect = rect;
    item.fill = color;
    item.radius = radius;
    return item;
}

// Our maker's line: the program and the configured site, no person.
QString contactLine() {
    return t("نرم‌افزار VORN، پرسشنامهٔ گرایش به تفکر انتقادی "
             "— ") +
           Site::host();
}

ReportLayout resultsList() {
    ReportLayout l;
    l.title = t("گزارش نتيجه تست گرايش به تفکر انتقادي");
    l.width = 6060;

    l.reportHeader.name = QStringLiteral("Section4");
    l.reportHeader.height = 1605;
    l.reportHeader.items = {
        fill({0, 0, 6060, 1605}, QColor(192, 192, 192)),
        label("Label9", {56, 113, 5917, 776}, QStringLiteral(" "), 14, true),
        label("Label3", {96, 960, 5910, 510}, l.title, 10, true),
    };

    // Columns from right to left: caption left and width, box left and width, field.
    struct Column {
        const char* caption;
        int captionLeft, captionWidth;
        const char* box;
        int boxLeft, boxWidth;
        const char* field;
    };
    const Column columns[] = {
        {"رديف", 5489, 525, "Text1", 5456, 495, nullptr},
        {"کد", 4826, 525, "txtCode", 4889, 480, "Code"},
        {"گروه", 4169, 660, "txtGroup1", 4169, 690, "Group"},
        {"سن", 3603, 600, "txtScore", 3648, 474, "Sen"},
        {"جنس", 2976, 600, "Text6", 2976, 570, "Jens"},
        {"تاهل", 2304, 594, "Text5", 2208, 675, "Taahol"},
        {"خلاقيت", 1536, 585, "Text3", 1536, 579, "KHalaghiyat"},
        {"باليدگي", 768, 675, "Text4", 768, 675, "Balidagi"},
        {"تعهد", 96, 600, "Text2", 96, 570, "Taahod"},
    };
    // Rules between neighbouring columns, halfway between one's left edge and the next's right.
    const int rules[] = {5420, 4828, 4186, 3590, 2937, 2212, 1490, 732};

    l.pageHeader.name = QStringLiteral("Section2");
    l.pageHeader.height = 486;
    l.pageHeader.items = {fill({0, 0, 6060, 486}, QColor(224, 224, 224))};
    for (const Column& c : columns)
        l.pageHeader.items << label(c.caption, {c.captionLeft, 60, c.captionWidth, 360},
                                    t(c.caption), 8, true);
    for (int x : rules)
        l.pageHeader.items << line({x, 0, 0, 486});
    l.pageHeader.items << line({0, 480, 6060, 0});

    l.detail.name = QStringLiteral("Section1");
    l.detail.height = 384;
    for (const Column& c : columns) {
        if (!c.field) {
            ReportItem number = field(c.box, {c.boxLeft, 0, c.boxWidth, 360}, "Code");
            number.kind = Kind::RowNumber;
            l.detail.items << number;
        } else {
            l.detail.items << field(c.box, {c.boxLeft, 0, c.boxWidth, 360}, c.field);
        }
    }
    for (int x : rules)
        l.detail.items << line({x, 0, 0, 384});
    l.detail.items << line({0, 380, 6060, 0}, QColor(128, 128, 128));

    l.pageFooter.name = QStringLiteral("Section3");
    l.reportFooter.name = QStringLiteral("Section5");
    l.reportFooter.height = 675;
    ReportItem address = label("Label14", {66, 60, 5040, 378}, QString());
    address.align = Qt::AlignRight | Qt::AlignAbsolute | Qt::AlignVCenter;
    l.reportFooter.items = {
        label("Label15", {5105, 60, 555, 378}, t(":آدرس"), 9, true),
        address,
        label("Label16", {66, 450, 5928, 225}, contactLine(), 7),
    };
    return l;
}

ReportLayout resultSheet() {
    ReportLayout l;
    l.title = t("گرايش به تفکر انتقادي");
    l.width = 6330;
    l.reportHeader.name = QStringLiteral("Section4");
    l.pageHeader.name = QStringLiteral("Section2");
    l.pageFooter.name = QStringLiteral("Section3");
    l.reportFooter.name = QStringLiteral("Section5");
    l.reportFooter.height = 30;

    l.detail.name = QStringLiteral("Section1");
    l.detail.height = 6480;
    const QColor ink(40, 60, 80);
    const QColor tab(47, 84, 110);
    // The frame: a cream page with a thin rounded border and a filled tab at top and bottom.
    ReportItem page;
    page.kind = Kind::Frame;
    page.rect = {0, 0, 6330, 6480};
    page.fill = QColor(252, 247, 232);
    page.color = QColor(150, 130, 90);
    page.radius = 180;
    l.detail.items << page << fill({2104, 0, 2065, 750}, tab, 120)
                   << fill({1000, 5870, 4330, 560}, tab, 120);
    ReportItem title = label("Label1", {2304, 0, 1665, 750}, l.title, 10, true);
    title.color = Qt::white;
    l.detail.items << title;

    auto caption = [&](const char* text, QRect rect) {
        l.detail.items << label("", rect, t(text), 9, true);
    };
    auto value = [&](const char* name, QRect rect) {
        ReportItem v = label(name, rect, QString());
        v.color = ink;
        l.detail.items << v;
    };
    caption("کد", {5472, 1152, 237, 465});
    value("Label15", {4752, 1152, 669, 465});
    caption("گروه", {4176, 1152, 510, 465});
    value("Label16", {3600, 1152, 669, 465});
    caption("سن", {3168, 1152, 450, 465});
    value("Label19", {2592, 1152, 669, 465});
    caption("جنس", {2160, 1152, 465, 465});
    value("Label20", {1584, 1152, 669, 465});
    caption("تاهل", {1152, 1152, 456, 465});
    value("Label21", {432, 1152, 813, 465});
    caption("تحصيلات", {5040, 1728, 774, 465});
    value("Label22", {3024, 1728, 1965, 465});
    // The subject's name has a place of its own beside the education.
    caption("نام", {2448, 1728, 500, 465});
    value("Label17", {288, 1728, 2100, 465});

    const QRect scoreCaptions[] = {
        {4320, 2736, 843, 450}, {2448, 2736, 843, 450}, {864, 2736, 891, 435}};
    const char* scoreValues[] = {"Label23", "Label26", "Label25"};
    const int scoreLefts[] = {4320, 2448, 864};
    for (int i = 0; i < 3; ++i) {
        caption(Scoring::key()[size_t(i)].caption, scoreCaptions[i]);
        ReportItem v = label(scoreValues[i], {scoreLefts[i], 3168, 825, 465}, QString(), 12, true);
        v.color = ink;
        l.detail.items << v;
    }
    caption("آدرس", {5228, 4652, 639, 504});
    ReportItem address = label("Label29", {288, 4608, 4860, 810}, QString());
    address.align = Qt::AlignRight | Qt::AlignAbsolute | Qt::AlignVCenter;
    l.detail.items << address;

    ReportItem contact1 = label("Label30", {1000, 5936, 4330, 212}, contactLine(), 7);
    ReportItem contact2 =
        label("Label31", {1000, 6148, 4330, 212}, QStringLiteral("https://") + Site::host(), 7);
    contact1.color = contact2.color = Qt::white;
    l.detail.items << contact1 << contact2;
    return l;
}

} // namespace

Report& DataRPrint() {
    static Report report(resultsList());
    return report;
}

Report& DataR1() {
    static Report report(resultSheet());
    return report;
}
