#pragma once

#include <QColor>
#include <QList>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QStringList>
#include <memory>

class DataView;
class QPagedPaintDevice;
class QWidget;

// A report layout is data: a width and five sections, each with items placed in twips
// (1440 to the inch) relative to the section's top left corner.
struct ReportItem {
    enum class Kind {
        Label,     // a fixed caption, or one the caller sets
        Field,     // the value of a field of the current row
        RowNumber, // 1, 2, 3 … down the detail rows of one presentation
        Line,      // from the rectangle's top left to its bottom right
        Fill,      // a filled rectangle, rounded by radius
        Frame,     // a filled rectangle with a border, rounded by radius
        Bar,       // a bar for a field's number: from the left, as long as the number's share
                   // of low..high in the rectangle's width (nothing for no number)
    };
    Kind kind = Kind::Label;
    QString name;
    QRect rect;
    QString text; // the caption of a label, the field of a field
    QColor color = Qt::black;
    QColor fill = Qt::transparent;
    int pointSize = 9;
    bool bold = false;
    int radius = 0;
    Qt::Alignment align = Qt::AlignCenter;
    double low = 0, high = 0; // a bar's scale
};

struct ReportSection {
    QString name;
    int height = 0;
    QList<ReportItem> items;
};

struct ReportLayout {
    QString title;
    int width = 0;
    // Report header, page header, detail, page footer, report footer.
    ReportSection reportHeader, pageHeader, detail, pageFooter, reportFooter;
};

// A report over a data view: the caller sets the source and label captions, then presents it
// in a print preview (not modal) from which the user prints or saves a PDF. The rows and
// captions are taken when the report is presented.
class Report {
public:
    explicit Report(ReportLayout layout);
    ~Report();

    void setDataSource(DataView* view);
    // Rows that are no table's: values by field name, row by row (instead of a data view).
    void setRows(const QStringList& fields, const QList<QStringList>& rows);
    // False when the section has no label of that name.
    bool setCaption(const QString& section, const QString& label, const QString& text);

    void present(QWidget* parent);
    // Writes what the last presentation showed (or the report as it stands, if never
    // presented) to a PDF file.
    bool writePdf(const QString& path);

    struct Snapshot;

private:
    std::shared_ptr<const Snapshot> takeSnapshot() const;

    ReportLayout layout_;
    QPointer<DataView> source_;
    QStringList rowFields_;
    QList<QStringList> rows_;
    std::shared_ptr<const Snapshot> last_;
};

// Paints a snapshot onto a paged device (a printer or a PDF writer), page after page; false
// when the device could not be written.
bool renderReport(const Report::Snapshot& snapshot, QPagedPaintDevice* device);
