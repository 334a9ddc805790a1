#ifndef HZIP_H
#define HZIP_H

#include "dovetalk_global.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>
#include <memory>

class QProcess;
class QTextDecoder;

/// One member of an archive as 7-Zip lists it.
struct FILE_IN_VAR
{
    QString filePath; ///< Path inside the archive, with "/" as separator.
    QString varPath;  ///< The archive path as handed to HZip::GetFileList.
    QString dateTime; ///< 7-Zip's date and time column, as text.
    /// Unpacked size in bytes; the largest qint64 when the listing shows no size, so
    /// that a size nobody can vouch for passes no size limit.
    qint64 size = 0;
    qint32 mark = 0; ///< Free for the caller; 0 when listed.
};
Q_DECLARE_TYPEINFO(FILE_IN_VAR, Q_MOVABLE_TYPE);

/// Lists and extracts archive members by running the 7-Zip command-line program.
///
/// 7-Zip is found through its registry key on Windows; elsewhere through the
/// environment variable DOVETALK_7Z (a full path) or else the first of 7zz, 7z and
/// 7za on PATH (7zz is the maintained 7-Zip; 7z is often the old p7zip). When it is
/// missing, a debug line says so and every call yields nothing. Failures are never
/// reported other than by missing data and debug lines.
///
/// Every run of 7-Zip is given no usable standard input and an empty password (an
/// encrypted member fails at once) and is ended after runLimitMs, or as soon as
/// the stop check answers false (see setStopCheck). Archive and
/// member names are taken literally: no switches, wildcards or list files.
/// An HZip belongs to the thread that creates it and runs one 7-Zip at a time.
class DOVETALK_EXPORT HZip : public QObject
{
    Q_OBJECT
public:
    /// Longest time any one run of 7-Zip may take before it is ended.
    static constexpr int runLimitMs = 30000;
    /// How often ExtractFiles asks its caller whether to go on.
    static constexpr int extractionStepMs = 5;

    /// Finds 7-Zip. The scratch folder "~tmp" lies beside the program or, when the
    /// program's folder is not writable, in the user's cache; it is created only
    /// when an extraction needs it.
    explicit HZip(QObject* parent = nullptr);
    ~HZip() override;

    /// `keepGoing` is asked by every later run of 7-Zip, every 50 ms while it runs;
    /// once it answers false, the run is ended and yields what a failed run yields.
    /// A long job hands its stop request to 7-Zip this way.
    void setStopCheck(std::function<bool()> keepGoing);

    /// Starts listing the archive `varPath` and returns while 7-Zip runs.
    /// A listing still running is ended first.
    void PackFileList(const QString& varPath);

    /// Waits for the listing started by PackFileList and appends one record per file
    /// member (directories left out) to `list`, which is never cleared. `varPath` is
    /// only copied into the records. Without a listing started, nothing is appended.
    void GetFileList(QVector<FILE_IN_VAR>& list, const QString& varPath);

    /// Extracts the member `filePath` of the archive `varPath`, without its folders,
    /// into `outDir` ("~tmp" when empty; created when missing), overwriting a file of
    /// the same name, and returns when 7-Zip has ended. `outFile` is set to where the
    /// file is to be found, whether or not the extraction succeeded.
    void ExtractAFile(const QString& varPath, const QString& filePath, const QString& outDir,
                      QString& outFile);

    /// Extracts the members `filePaths` of the archive `varPath` in one run of 7-Zip
    /// into `outDir` (created when missing), each at its path inside the archive, so
    /// that equal file names in different folders stay apart. 7-Zip writes them one
    /// after another in the archive's order. `keepGoing`, when given, is asked every
    /// extractionStepMs while 7-Zip runs (often enough to watch the files appear), and
    /// the run is ended once it answers false. Returns whether 7-Zip ended without error.
    bool ExtractFiles(const QString& varPath, const QStringList& filePaths, const QString& outDir,
                      const std::function<bool()>& keepGoing = {});

    /// Waits for the running listing, up to runLimitMs, and closes the process,
    /// which ends it if it still runs. Does nothing when no listing was started.
    void WaitFinished();

    /// 7-Zip's arguments for listing `varPath`.
    static QStringList listArguments(const QString& varPath);
    /// 7-Zip's arguments for extracting `filePath` of `varPath` into the working folder.
    static QStringList extractArguments(const QString& varPath, const QString& filePath);
    /// 7-Zip's arguments for extracting the members named in the UTF-8 list file
    /// `listFile` of `varPath`, with their folders, into the working folder.
    static QStringList extractListArguments(const QString& varPath, const QString& listFile);

public slots:
    /// Appends what the listing has written to its standard output so far to the
    /// collected output (UTF-8; the local 8-bit code page on Windows).
    void on_ProcessResult();

private:
    bool keepRunning() const;

    QString zipExe;
    QString tmpDir;
    QProcess* process = nullptr;
    QString output;
    // Keeps a character split between two pieces of output whole.
    std::unique_ptr<QTextDecoder> decoder;
    std::function<bool()> stopCheck;
};

#endif // HZIP_H
