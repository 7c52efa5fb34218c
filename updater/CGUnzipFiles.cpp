#include "CGUnzipFiles.h"

int CGUnzipFiles::Unzip(const QString& sZipFileName, const QString& sExtractDir) {
    if (!sZipFileName.isEmpty())
        zipFileName_ = sZipFileName;
    if (!sExtractDir.isEmpty())
        extractDir_ = sExtractDir;
    return CodeModule::VBUnzip(zipFileName_, extractDir_, options_);
}
