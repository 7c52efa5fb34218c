#pragma once

#include <QString>
#include <stdexcept>

// Result codes of an extraction.
namespace UnzipResult {
inline constexpr int Ok = 0;           // success
inline constexpr int Warning = 1;      // warnings: a member skipped, a name refused
inline constexpr int Error = 2;        // an error in the archive; some members may be done
inline constexpr int BadError = 3;     // a severe error in the archive
inline constexpr int Memory = 4;       // out of memory
inline constexpr int NoZip = 9;        // not a ZIP archive, or the archive was not found
inline constexpr int Param = 10;       // bad options
inline constexpr int Find = 11;        // no member matched
inline constexpr int Disk = 50;        // the disk is full or a file cannot be written
inline constexpr int Eof = 51;         // the archive ends too early
inline constexpr int Cancelled = 80;   // the user stopped it
inline constexpr int Unsupported = 81; // a compression or encryption that is not supported
inline constexpr int BadPassword = 82; // no member extracted for want of the right password
} // namespace UnzipResult

// An error raised on to the caller with its number, description and the routine it passed last.
class UnzipError : public std::runtime_error {
public:
    UnzipError(int number, const QString& description, const QString& source)
        : std::runtime_error(description.toStdString()), number(number), description(description),
          source(source) {}
    int number;
    QString description;
    QString source;
};

// Extracts the members of a ZIP archive (libzip) into a folder with a set of options. Yes/no
// options are kept as 1 and 0. A member that would land outside the folder, a name longer than a
// file system takes, and an archive that unpacks to far more than it holds are refused; a
// password or an overwrite is asked through the dialogs.
class CGUnzipFiles {
public:
#define VORN_YES_NO(Name)                                                                          \
    bool Name() const {                                                                            \
        return options_.Name == 1;                                                                 \
    }                                                                                              \
    void set##Name(bool on) {                                                                      \
        options_.Name = on ? 1 : 0;                                                                \
    }
    VORN_YES_NO(ExtractOnlyNewer)
    VORN_YES_NO(SpaceToUnderScore)
    VORN_YES_NO(PromptOverwrite)
    VORN_YES_NO(WriteToStdOut)
    VORN_YES_NO(TestZip)
    VORN_YES_NO(ExtractNewer)
    VORN_YES_NO(DisplayComment)
    VORN_YES_NO(HonorDirectories)
    VORN_YES_NO(OverWriteFiles)
    VORN_YES_NO(ConvertCRtoCRLF)
    VORN_YES_NO(Verbose)
    VORN_YES_NO(CaseSensitive)
#undef VORN_YES_NO

    int MessageLevel() const {
        return options_.MessageLevel;
    }
    void setMessageLevel(int value) {
        options_.MessageLevel = value;
    }
    int ExtractList() const {
        return options_.ExtractList;
    }
    void setExtractList(int value) {
        options_.ExtractList = value;
    }
    int Privilege() const {
        return options_.Privilege;
    }
    void setPrivilege(int value) {
        options_.Privilege = value;
    }
    // The most one extraction may write, against archives that unpack to far more than they
    // hold; 0 for the default of 100 times the archive's size (at least 64 MiB).
    void setMaxTotalBytes(long long bytes) {
        options_.MaxTotalBytes = bytes;
    }
    const QString& ZipFileName() const {
        return zipFileName_;
    }
    void setZipFileName(const QString& name) {
        zipFileName_ = name;
    }
    const QString& ExtractDir() const {
        return extractDir_;
    }
    void setExtractDir(const QString& dir) {
        extractDir_ = dir;
    }

    // Non-empty arguments replace the stored archive and folder. Returns the result code; throws
    // UnzipError when a numeric option does not fit 16 bits or memory runs out.
    int Unzip(const QString& sZipFileName = {}, const QString& sExtractDir = {});
    // Everything the last extraction printed.
    QString GetLastMessage() const {
        return message_;
    }
    // The listing of the last extraction: a header and one line of 80 characters per member.
    const QString& ListingText() const {
        return listing_;
    }
    int ListingCount() const {
        return listed_;
    }

    // One member's listing line, exactly 80 characters, and the header above them.
    static QString ListingLine(const QString& name, unsigned long size, unsigned month,
                               unsigned day, unsigned year, unsigned hour, unsigned minute);
    static QString ListingHeader();

private:
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
        long long MaxTotalBytes = 0;
    };
    friend class Extraction;

    Options options_;
    QString zipFileName_;
    QString extractDir_;
    QString message_;
    QString listing_;
    int listed_ = 0;
};
