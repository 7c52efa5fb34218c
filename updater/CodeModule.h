#pragma once

#include <QString>
#include <stdexcept>

// The extraction's answers to the library: printed text, the listing, passwords and the
// overwrite question. Its state is shared, so one extraction runs at a time.
namespace CodeModule {

struct Options {
    int ExtractOnlyNewer = 0;
    int SpaceToUnderScore = 0;
    int PromptOverwrite = 0;
    int MessageLevel = 2;
    int WriteToStdOut = 0;
    int TestZip = 0;
    int ExtractList = 0;
    int ExtractNewer = 0;
    int DisplayComment = 0;
    int HonorDirectories = 1;
    int OverWriteFiles = 1;
    int ConvertCRtoCRLF = 0;
    int Verbose = 0;
    int CaseSensitive = 1;
    int Privilege = 0;
    // The most one extraction writes; 0 for 100 times the archive's size (at least 64 MiB).
    long long MaxTotalBytes = 0;
};

// An error raised on to the caller with its number, description and the routine it passed
// last.
class UnzipError : public std::runtime_error {
public:
    UnzipError(int number, const QString& description, const QString& source)
        : std::runtime_error(description.toStdString()), number(number), description(description),
          source(source) {}
    int number;
    QString description;
    QString source;
};

// Everything the library printed during the last extraction.
const QString& LastMessage();
// The listing of the last extraction: a header and one line of 80 characters per member.
const QString& ListingText();
int ListingCount();

// Runs one extraction. Throws UnzipError (from "CodeModule::VBUnzip") when it fails, for example
// when a numeric option does not fit 16 bits.
int VBUnzip(const QString& zipFileName, const QString& extractDir, const Options& options);

// One member's listing line, exactly 80 characters.
QString ListingLine(const QString& name, unsigned long size, unsigned month, unsigned day,
                    unsigned year, unsigned hour, unsigned minute);
QString ListingHeader();

int UnzipPrint(const char* text, unsigned long size);
int UnzipService(const char* name, unsigned long size);
int UnzipPassword(char* buffer, int size, const char* prompt, const char* name);
int UnzipReplace(const char* name);
void UnzipMessage(unsigned long ucsize, unsigned long csize, unsigned cfactor, unsigned mo,
                  unsigned dy, unsigned yr, unsigned hh, unsigned mm, char c, const char* filename,
                  const char* methbuf, unsigned long crc, char fCrypt);

} // namespace CodeModule
