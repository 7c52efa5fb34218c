#include "updater/CGUnzipFiles.h"

int CGUnzipFiles::Unzip(const QString& sZipFileName, const QString& sExtractDir) {
    if (!sZipFileName.isEmpty())
        zipFileName_ = sZipFileName;
    if (!sExtractDir.isEmpty())
        extractDir_ = sExtractDir;
    try {
        return CodeModule::VBUnzip(zipFileName_, extractDir_, options_);
    } catch (const CodeModule::UnzipError& e) {
        throw CodeModule::UnzipError(e.number, e.description,
                                     QStringLiteral("CGUnZipFiles::Unzip"));
    }
}
