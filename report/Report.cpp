#include "report/Report.h"

#include "data/DataView.h"
#include "shell/seams/Busy.h"
#include "shell/seams/Dialogs.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPdfWriter>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QToolBar>
#include <algorithm>
#include <array>

struct Report::Snapshot {
    ReportLayout layout;
    QStringList fields;      // the fields the detail shows
    QList<QStringList> rows; // their values, row by row, in the view's order
};

namespace {

template <typename Layout> auto sections(Layout& layout) {
    return std::array{&layout.reportHeader, &layout.pageHeader, &layout.detail, &layout.pageFooter,
                      &layout.reportFooter};
}

QString reportFont() {
    const QStringList families = QFontDatabase::families();
    for (const char* family : {"B Nazanin", "Nazli", "Noto Naskh Arabic", "Noto Sans Arabic"})
        if (families.contains(QString::fromLatin1(family)))
            return QString::fromLatin1(family);
    return QGuiApplication::font().family();
}

class Painter {
public:
    Painter(const Report::Snapshot& s, QPagedPaintDevice* device)
        : snapshot(s), device(device), painter(device), family(reportFont()) {
        scale = device->logicalDpiX() / 1440.0;
        const double pageWidth = device->width() / scale;
        pageHeight = device->height() / scale;
        left = std::max(0.0, (pageWidth - s.layout.width) / 2);
        painter.setRenderHint(QPainter::Antialiasing);
    }

    // False when the device could not be written (a PDF into a folder that cannot be written).
    bool run() {
        if (!painter.isActive())
            return false;
        const ReportLayout& l = snapshot.layout;
        startPage(true);
        for (qsizetype row = 0; row < snapshot.rows.size(); ++row) {
            makeRoom(l.detail.height);
            draw(l.detail, row);
        }
        makeRoom(l.reportFooter.height);
        draw(l.reportFooter, -1);
        draw(l.pageFooter, -1, pageHeight - l.pageFooter.height);
        return painter.end();
    }

private:
    void startPage(bool first) {
        y = 0;
        if (first)
            draw(snapshot.layout.reportHeader, -1);
        draw(snapshot.layout.pageHeader, -1);
    }

    // A section that no longer fits goes to a new page, after this page's footer.
    void makeRoom(int height) {
        const ReportLayout& l = snapshot.layout;
        const double limit = pageHeight - l.pageFooter.height;
        const double fresh = l.pageHeader.height;
        if (y + height <= limit || y <= fresh)
            return;
        draw(l.pageFooter, -1, pageHeight - l.pageFooter.height);
        device->newPage();
        startPage(false);
    }

    void draw(const ReportSection& section, qsizetype row, double at = -1) {
        if (section.height <= 0 && section.items.isEmpty())
            return;
        const double top = at >= 0 ? at : y;
        for (const ReportItem& item : section.items)
            drawItem(item, row, top);
        if (at < 0)
            y += section.height;
    }

    QRectF area(const QRect& r, double top) const {
        return QRectF((left + r.x()) * scale, (top + r.y()) * scale, r.width() * scale,
                      r.height() * scale);
    }

    void drawItem(const ReportItem& item, qsizetype row, double top) {
        const QRectF r = area(item.rect, top);
        switch (item.kind) {
        case ReportItem::Kind::Line:
            painter.setPen(QPen(item.color, std::max(1.0, 15 * scale)));
            painter.drawLine(r.topLeft(), r.bottomRight());
            return;
        case ReportItem::Kind::Fill:
        case ReportItem::Kind::Frame: {
            QPainterPath path;
            path.addRoundedRect(r, item.radius * scale, item.radius * scale);
            painter.fillPath(path, item.fill);
            if (item.kind == ReportItem::Kind::Frame) {
                painter.setPen(QPen(item.color, std::max(1.0, 15 * scale)));
                painter.drawPath(path);
            }
            return;
        }
        case ReportItem::Kind::Bar: {
            const qsizetype column = snapshot.fields.indexOf(item.text);
            bool number = false;
            // The shown text may carry direction marks around its digits.
            QString shown = row >= 0 && column >= 0 ? snapshot.rows[row].value(column) : QString();
            shown.removeIf([](QChar c) { return c.category() == QChar::Other_Format; });
            const double value = shown.toDouble(&number);
            if (!number || item.high <= item.low)
                return;
            const double share = std::clamp((value - item.low) / (item.high - item.low), 0.0, 1.0);
            QRectF bar = r;
            bar.setWidth(r.width() * share);
            // Right to left: the bar grows from the right edge, as the page is read.
            bar.moveRight(r.right());
            painter.fillRect(bar, item.fill);
            return;
        }
        case ReportItem::Kind::Label:
            text(item, r, item.text);
            return;
        case ReportItem::Kind::Field: {
            const qsizetype column = snapshot.fields.indexOf(item.text);
            text(item, r, row >= 0 && column >= 0 ? snapshot.rows[row].value(column) : QString());
            return;
        }
        case ReportItem::Kind::RowNumber:
            text(item, r, row >= 0 ? QString::number(row + 1) : QString());
            return;
        }
    }

    void text(const ReportItem& item, const QRectF& r, const QString& value) {
        if (value.trimmed().isEmpty())
            return;
        QFont font(family);
        font.setPointSizeF(item.pointSize);
        font.setBold(item.bold);
        painter.setFont(font);
        painter.setPen(item.color);
        QTextOption option(item.align);
        option.setTextDirection(Qt::RightToLeft);
        option.setWrapMode(QTextOption::WordWrap);
        painter.save();
        painter.setClipRect(r);
        painter.drawText(r, value, option);
        painter.restore();
    }

    const Report::Snapshot& snapshot;
    QPagedPaintDevice* device;
    QPainter painter;
    QString family;
    double scale = 1;
    double pageHeight = 0;
    double left = 0;
    double y = 0;
};

} // namespace

bool renderReport(const Report::Snapshot& snapshot, QPagedPaintDevice* device) {
    return Painter(snapshot, device).run();
}

Report::Report(ReportLayout layout) : layout_(std::move(layout)) {}
Report::~Report() = default;

void Report::setDataSource(DataView* view) {
    source_ = view;
}

void Report::setRows(const QStringList& fields, const QList<QStringList>& rows) {
    source_ = nullptr;
    rowFields_ = fields;
    rows_ = rows;
}

bool Report::setCaption(const QString& section, const QString& label, const QString& text) {
    for (ReportSection* s : sections(layout_))
        if (s->name.compare(section, Qt::CaseInsensitive) == 0)
            for (ReportItem& item : s->items)
                if (item.kind == ReportItem::Kind::Label && item.name == label) {
                    item.text = text;
                    return true;
                }
    return false;
}

std::shared_ptr<const Report::Snapshot> Report::takeSnapshot() const {
    auto snapshot = std::make_shared<Snapshot>();
    snapshot->layout = layout_;
    for (const ReportItem& item : layout_.detail.items)
        if ((item.kind == ReportItem::Kind::Field || item.kind == ReportItem::Kind::Bar) &&
            !snapshot->fields.contains(item.text))
            snapshot->fields << item.text;
    if (source_) {
        QList<int> columns;
        for (const QString& f : snapshot->fields)
            columns << source_->fieldIndex(f);
        snapshot->rows.reserve(source_->rowCount());
        for (int r = 0; r < source_->rowCount(); ++r) {
            QStringList values;
            values.reserve(columns.size());
            for (int c : columns)
                values << source_->value(r, c);
            snapshot->rows << values;
        }
    } else if (!rowFields_.isEmpty()) {
        QList<qsizetype> columns;
        for (const QString& f : snapshot->fields)
            columns << rowFields_.indexOf(f);
        for (const QStringList& row : rows_) {
            QStringList values;
            for (qsizetype c : columns)
                values << (c >= 0 ? row.value(c) : QString());
            snapshot->rows << values;
        }
    }
    return snapshot;
}

void Report::present(QWidget* parent) {
    last_ = takeSnapshot();
    std::shared_ptr<const Snapshot> shown = last_;
    auto printer = std::make_shared<QPrinter>(QPrinter::HighResolution);
    printer->setDocName(layout_.title);
    // A window of its own: it may stay open after the window that asked for it has closed
    // (and a styled parent tearing down an open preview brings Qt's toolbar down with it).
    auto* preview = new QPrintPreviewDialog(printer.get());
    preview->setAttribute(Qt::WA_DeleteOnClose);
    if (parent)
        preview->move(parent->geometry().topLeft() + QPoint(40, 40));
    preview->setWindowTitle(layout_.title);
    QObject::connect(preview, &QPrintPreviewDialog::paintRequested, preview,
                     [shown, printer](QPrinter* device) { renderReport(*shown, device); });
    if (auto* tools = preview->findChild<QToolBar*>()) {
        QAction* save = tools->addAction(QString::fromUtf8("ذخیره به صورت PDF"));
        save->setObjectName(QStringLiteral("savePdf"));
        // The preview may outlive the report object: it keeps what it needs by value.
        const QString title = layout_.title;
        QObject::connect(save, &QAction::triggered, preview, [preview, shown, title] {
            const Busy busy(preview); // the preview stays until the PDF is written
            const QString path = Dialogs::get().saveFileName(
                preview, title, title + QStringLiteral(".pdf"), QStringLiteral("PDF (*.pdf)"));
            if (path.isEmpty())
                return;
            QPdfWriter writer(path);
            writer.setTitle(title);
            if (!renderReport(*shown, &writer))
                Dialogs::get().message(
                    preview,
                    QString::fromUtf8("پروندهٔ PDF نوشته نشد: %1\nاین پوشه برای نوشتن باز "
                                      "نیست یا جا ندارد؛ جای دیگری را برگزینید.")
                        .arg(QDir::toNativeSeparators(path)),
                    title, Dialogs::Icon::Exclamation, Dialogs::Buttons::Ok, true);
        });
    }
    preview->show();
}

bool Report::writePdf(const QString& path) {
    std::shared_ptr<const Snapshot> snapshot = last_ ? last_ : takeSnapshot();
    QPdfWriter writer(path);
    writer.setTitle(layout_.title);
    writer.setResolution(600);
    return renderReport(*snapshot, &writer) && QFileInfo::exists(path);
}
