#pragma once

#include "updater/CodeModule.h"

#include <QString>

// Extracts the members of a ZIP archive into a folder with a set of options. Yes/no options are
// kept as 1 and 0. See Unzip.h for the result codes.
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
    // The most one extraction may write, against archives that unpack to far more than they
    // hold; 0 for the default of 100 times the archive's size (at least 64 MiB).
    void setMaxTotalBytes(long long bytes) {
        options_.MaxTotalBytes = bytes;
    }
    void setPrivilege(int value) {
        options_.Privilege = value;
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

    // Non-empty arguments replace the stored archive and folder. Returns the result code.
    int Unzip(const QString& sZipFileName = {}, const QString& sExtractDir = {});
    QString GetLastMessage() const {
        return CodeModule::LastMessage();
    }

private:
    CodeModule::Options options_;
    QString zipFileName_;
    QString extractDir_;
};
