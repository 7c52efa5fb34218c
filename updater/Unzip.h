#pragma once

// Our extraction library over libzip. It offers the two calls and the records of the
// published UnZip library interface that the extraction class relies on.

// Result codes, as the UnZip library publishes them.
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

// Answers of the overwrite question.
namespace ReplaceAnswer {
inline constexpr int No = 100;
inline constexpr int Yes = 102;
inline constexpr int All = 103;
inline constexpr int None = 104;
} // namespace ReplaceAnswer

struct UzpVer2 {
    unsigned long structlen = 0;
    unsigned long flag = 0;
    char betalevel[10];
    char date[20];
    char zlib_version[10];
    unsigned char unzip[4];
    unsigned char zipinfo[4];
    unsigned char os2dll[4];
    unsigned char windll[4];
};

// The options record, member by member.
struct DCL {
    int ExtractOnlyNewer;
    int SpaceToUnderscore;
    int PromptToOverwrite;
    int fQuiet;  // message level
    int ncflag;  // write to standard output
    int ntflag;  // test only
    int nvflag;  // list only
    int nfflag;  // extract newer (freshen)
    int nzflag;  // show the comment
    int ndflag;  // honour directories
    int noflag;  // overwrite
    int naflag;  // convert line ends
    int nZIflag; // verbose listing
    int C_flag;  // case-insensitive matching when 0
    int fPrivilege;
    const char* lpszZipFN;
    const char* lpszExtractDir;
};

using DllPrint = int (*)(const char* text, unsigned long size);
using DllSnd = void (*)();
using DllReplace = int (*)(const char* name);
using DllPassword = int (*)(char* buffer, int size, const char* prompt, const char* name);
using DllMessage = void (*)(unsigned long ucsize, unsigned long csize, unsigned cfactor,
                            unsigned mo, unsigned dy, unsigned yr, unsigned hh, unsigned mm, char c,
                            const char* filename, const char* methbuf, unsigned long crc,
                            char fCrypt);
using DllService = int (*)(const char* name, unsigned long size);

// The callbacks record.
struct USERFUNCTIONS {
    DllPrint print;
    DllSnd sound;
    DllReplace replace;
    DllPassword password;
    DllMessage SendApplicationMessage;
    DllService ServCallBk;
    unsigned long TotalSizeComp;
    unsigned long TotalSize;
    unsigned long CompFactor;
    unsigned long NumMembers;
    unsigned short cchComment;
};

void UzpVersion2(UzpVer2* version);
// maxTotalBytes caps what one extraction writes; 0 means 100 times the archive's size (at
// least 64 MiB).
int Wiz_SingleEntryUnzip(int ifnc, char** ifnv, int xfnc, char** xfnv, DCL* options,
                         USERFUNCTIONS* callbacks, long long maxTotalBytes = 0);
