#include "updater/CodeModule.h"

#include "shell/seams/Dialogs.h"
#include "updater/Unzip.h"

#include <cstring>
#include <stdexcept>

namespace CodeModule {

namespace {

QString printText;
QString listingText;
int listingCount = 0;
bool skipPassword = false;

void reset() {
    printText.clear();
    listingText.clear();
    listingCount = 0;
    skipPassword = false;
}

// Blank-filled to a width, text placed from a column (counted from 1).
void place(QString& line, int column, const QString& text) {
    line.replace(column - 1, text.size(), text);
}

QString lastDigits(unsigned value, int digits) {
    return QStringLiteral("%1").arg(value % (digits == 2 ? 100 : 10000), digits, 10,
                                    QLatin1Char('0'));
}

short sixteenBits(int value) {
    if (value < -32768 || value > 32767)
        throw UnzipError(6, QStringLiteral("Overflow"), QStringLiteral("CodeModule::VBUnzip"));
    return short(value);
}

} // namespace

// Everything printed so far: kept in one text that grows, never copied per line.
const QString& LastMessage() {
    return printText;
}
const QString& ListingText() {
    return listingText;
}
int ListingCount() {
    return listingCount;
}

QString ListingHeader() {
    QString line(80, QLatin1Char(' '));
    place(line, 1, QStringLiteral("Filename:"));
    place(line, 53, QStringLiteral("Size"));
    place(line, 62, QStringLiteral("Date"));
    place(line, 71, QStringLiteral("Time"));
    return line;
}

QString ListingLine(const QString& name, unsigned long size, unsigned month, unsigned day,
                    unsigned year, unsigned hour, unsigned minute) {
    QString line(80, QLatin1Char(' '));
    place(line, 1, name.left(50));
    place(line, 51, (QStringLiteral("        ") + QString::number(size)).right(7));
    place(line, 60,
          lastDigits(month, 2) + QLatin1Char('/') + lastDigits(day, 2) + QLatin1Char('/') +
              lastDigits(year, 2));
    place(line, 70, QStringLiteral("%1:").arg(hour % 100, 2, 10, QLatin1Char(' ')));
    place(line, 73, lastDigits(minute, 2));
    return line;
}

int UnzipPrint(const char* text, unsigned long size) {
    const size_t length =
        text ? std::min<size_t>(strnlen(text, size), std::min<unsigned long>(size, 32801)) : 0;
    QString piece = QString::fromUtf8(text, qsizetype(length));
    if (piece.startsWith(QLatin1Char('\n')))
        piece = QStringLiteral("\r\n");
    printText += piece;
    return 0;
}

int UnzipService(const char*, unsigned long) {
    return 0;
}

int UnzipPassword(char* buffer, int size, const char*, const char*) {
    if (skipPassword)
        return 1;
    const QString answer =
        Dialogs::get().input(nullptr, QStringLiteral("Please Enter The Password!"), QString());
    if (answer.isEmpty()) {
        skipPassword = true; // no more questions in this extraction
        return 1;
    }
    std::memset(buffer, 0, size_t(size));
    const QByteArray bytes = answer.toLatin1();
    std::memcpy(buffer, bytes.constData(), size_t(std::min<qsizetype>(bytes.size(), size - 1)));
    return 0;
}

int UnzipReplace(const char* name) {
    const QString member = QString::fromUtf8(name, qsizetype(strnlen(name, 256)));
    switch (
        Dialogs::get().message(nullptr, QStringLiteral("Overwrite ") + member + QLatin1Char('?'),
                               QStringLiteral("VBUnZip32 - File Already Exists!"),
                               Dialogs::Icon::Exclamation, Dialogs::Buttons::YesNoCancel, false)) {
    case Dialogs::Yes:
        return ReplaceAnswer::Yes;
    case Dialogs::No:
        return ReplaceAnswer::No;
    default:
        return ReplaceAnswer::None;
    }
}

void UnzipMessage(unsigned long ucsize, unsigned long, unsigned, unsigned mo, unsigned dy,
                  unsigned yr, unsigned hh, unsigned mm, char, const char* filename, const char*,
                  unsigned long, char) {
    if (listingCount == 0)
        listingText = ListingHeader() + QStringLiteral("\r\n");
    listingText += ListingLine(QString::fromUtf8(filename), ucsize, mo, dy, yr, hh, mm) +
                   QStringLiteral("\r\n");
    ++listingCount;
}

int VBUnzip(const QString& zipFileName, const QString& extractDir, const Options& options) {
    reset();
    const QByteArray zip = zipFileName.toUtf8();
    const QByteArray dir = extractDir.toUtf8();
    DCL record{options.ExtractOnlyNewer,
               options.SpaceToUnderScore,
               options.PromptOverwrite,
               sixteenBits(options.MessageLevel),
               options.WriteToStdOut,
               options.TestZip,
               sixteenBits(options.ExtractList),
               options.ExtractNewer,
               options.DisplayComment,
               options.HonorDirectories,
               options.OverWriteFiles,
               options.ConvertCRtoCRLF,
               options.Verbose,
               options.CaseSensitive,
               sixteenBits(options.Privilege),
               zip.constData(),
               dir.constData()};
    USERFUNCTIONS callbacks{
        UnzipPrint, nullptr, UnzipReplace, UnzipPassword, UnzipMessage, UnzipService, 0, 0, 0,
        0,          0};
    UzpVer2 version;
    UzpVersion2(&version);
    try {
        return Wiz_SingleEntryUnzip(0, nullptr, 0, nullptr, &record, &callbacks,
                                    options.MaxTotalBytes);
    } catch (const std::bad_alloc&) {
        throw UnzipError(7, QStringLiteral("Out of memory"), QStringLiteral("CodeModule::VBUnzip"));
    }
}

} // namespace CodeModule
