#include "hzip.h"

#include "scratchdir.h"
#include "ziplisting.h"

#include <QDebug>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryFile>
#include <QTextCodec>
#include <QTextDecoder>

#include <utility>

#ifdef Q_OS_WIN
#include <QSettings>
#else
#include <QStandardPaths>
#endif

namespace {

// The full path of 7-Zip with "/" separators, or empty when it is not to be found.
QString findSevenZip()
{
#ifdef Q_OS_WIN
    const QSettings key(QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\7-Zip\\"),
                        QSettings::NativeFormat);
    const QString folder = key.value(QStringLiteral("Path")).toString();
    if (folder.isEmpty()) {
        qDebug() << "7-Zip not found: no value Path under HKEY_LOCAL_MACHINE\\SOFTWARE\\7-Zip";
        return QString();
    }
    return QString(folder + QStringLiteral("\\7z.exe"))
        .replace(QLatin1Char('\\'), QLatin1Char('/'));
#else
    const QString fromEnvironment = qEnvironmentVariable("DOVETALK_7Z");
    if (!fromEnvironment.isEmpty()) {
        const QFileInfo program(fromEnvironment);
        if (!program.isFile() || !program.isExecutable()) {
            qDebug() << "7-Zip not found: DOVETALK_7Z names no program:" << fromEnvironment;
            return QString();
        }
        return fromEnvironment;
    }
    // 7zz is the maintained 7-Zip; 7z on Debian and Ubuntu is p7zip, unchanged since 2016.
    for (const char* name : {"7zz", "7z", "7za"}) {
        const QString found = QStandardPaths::findExecutable(QString::fromLatin1(name));
        if (!found.isEmpty()) {
            return found;
        }
    }
    qDebug() << "7-Zip not found: none of 7zz 7z 7za on PATH, and DOVETALK_7Z not set";
    return QString();
#endif
}

QTextCodec* outputCodec()
{
#ifdef Q_OS_WIN
    return QTextCodec::codecForLocale();
#else
    return QTextCodec::codecForName("UTF-8");
#endif
}

// An answer that 7-Zip waits for would hang the caller: it gets end of input at once.
void prepareRun(QProcess& run)
{
    run.setStandardInputFile(QProcess::nullDevice());
#ifndef Q_OS_WIN
    // 7-Zip reads its arguments and writes names in the locale's encoding; under a
    // C locale non-ASCII names would not survive.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    run.setProcessEnvironment(environment);
#endif
}

// Waits for the run up to the limit, or until `keepGoing`, asked every `step` ms,
// answers false; a run that is not over by then is ended by the caller's close. The
// steps are short, so that a stop request ends 7-Zip within a blink. True when 7-Zip
// ended well.
bool awaitRun(QProcess& run, const std::function<bool()>& keepGoing, int step = 50)
{
    QElapsedTimer clock;
    clock.start();
    while (run.state() != QProcess::NotRunning && !run.waitForFinished(step)) {
        if (clock.elapsed() >= HZip::runLimitMs) {
            qDebug() << "7-Zip stopped after" << HZip::runLimitMs << "ms:" << run.arguments();
            return false;
        }
        if (!keepGoing()) {
            qDebug() << "7-Zip stopped on request:" << run.arguments();
            return false;
        }
    }
    if (run.error() == QProcess::FailedToStart) {
        qDebug() << "7-Zip did not start:" << run.program() << run.errorString();
        return false;
    }
    if (run.exitStatus() != QProcess::NormalExit || run.exitCode() != 0) {
        qDebug() << "7-Zip failed:" << run.arguments() << run.exitCode()
                 << QString::fromLocal8Bit(run.readAllStandardError()).simplified();
        return false;
    }
    return true;
}

} // namespace

HZip::HZip(QObject* parent)
    : QObject(parent), zipExe(findSevenZip()), tmpDir(scratchDirectory(QStringLiteral("~tmp")))
{
    qDebug() << zipExe;
    qDebug() << tmpDir;
}

HZip::~HZip() = default;

void HZip::setStopCheck(std::function<bool()> keepGoing)
{
    stopCheck = std::move(keepGoing);
}

bool HZip::keepRunning() const
{
    return !stopCheck || stopCheck();
}

QStringList HZip::listArguments(const QString& varPath)
{
    return {QStringLiteral("l"), QStringLiteral("-spd"), QStringLiteral("-p"), QStringLiteral("--"),
            varPath};
}

QStringList HZip::extractArguments(const QString& varPath, const QString& filePath)
{
    return {QStringLiteral("e"),
            QStringLiteral("-y"),
            QStringLiteral("-spd"),
            QStringLiteral("-p"),
            QStringLiteral("--"),
            varPath,
            filePath};
}

QStringList HZip::extractListArguments(const QString& varPath, const QString& listFile)
{
    // The list goes in a switch: "--" ends the switches and makes everything behind
    // it a plain name, list files included.
    return {QStringLiteral("x"),         QStringLiteral("-y"),
            QStringLiteral("-spd"),      QStringLiteral("-p"),
            QStringLiteral("-scsUTF-8"), QStringLiteral("-i@") + listFile,
            QStringLiteral("--"),        varPath};
}

void HZip::PackFileList(const QString& varPath)
{
    if (zipExe.isEmpty()) {
        return;
    }
    if (!process) {
        process = new QProcess(this);
        prepareRun(*process);
        connect(process, &QProcess::readyReadStandardOutput, this, &HZip::on_ProcessResult,
                Qt::DirectConnection);
    }
    process->close();
    output.clear();
    decoder.reset(outputCodec()->makeDecoder());
    process->start(zipExe, listArguments(varPath), QIODevice::ReadOnly);
}

void HZip::GetFileList(QVector<FILE_IN_VAR>& list, const QString& varPath)
{
    WaitFinished();
    parseSevenZipListing(output, varPath, list);
}

void HZip::ExtractAFile(const QString& varPath, const QString& filePath, const QString& outDir,
                        QString& outFile)
{
    const QString dir = outDir.isEmpty() ? tmpDir : outDir;
    outFile = dir + QLatin1Char('/') + filePath.mid(filePath.lastIndexOf(QLatin1Char('/')) + 1);
    if (zipExe.isEmpty()) {
        return;
    }
    // 7-Zip's output switch reads a "*" in the folder as the archive's name, so 7-Zip
    // runs in the folder instead; like the switch, that creates it when missing.
    QDir().mkpath(dir);
    QProcess run;
    prepareRun(run);
    run.setWorkingDirectory(dir);
    run.setStandardOutputFile(QProcess::nullDevice());
    run.start(zipExe, extractArguments(QFileInfo(varPath).absoluteFilePath(), filePath),
              QIODevice::ReadOnly);
    awaitRun(run, [this] { return keepRunning(); });
    run.close();
}

bool HZip::ExtractFiles(const QString& varPath, const QStringList& filePaths, const QString& outDir,
                        const std::function<bool()>& keepGoing)
{
    if (zipExe.isEmpty() || filePaths.isEmpty() || !QDir().mkpath(outDir) ||
        !QDir().mkpath(tmpDir)) {
        return false;
    }
    // Thousands of names would not fit a command line on every system: they go in a file.
    QTemporaryFile listFile(tmpDir + QStringLiteral("/members-XXXXXX.txt"));
    if (!listFile.open()) {
        qDebug() << "ExtractFiles: cannot write the member list in" << tmpDir;
        return false;
    }
    listFile.write(filePaths.join(QLatin1Char('\n')).toUtf8());
    listFile.close();

    QProcess run;
    prepareRun(run);
    run.setWorkingDirectory(outDir);
    run.setStandardOutputFile(QProcess::nullDevice());
    run.start(zipExe,
              extractListArguments(QFileInfo(varPath).absoluteFilePath(),
                                   QFileInfo(listFile.fileName()).absoluteFilePath()),
              QIODevice::ReadOnly);
    const bool ended = awaitRun(
        run, [&] { return (!keepGoing || keepGoing()) && keepRunning(); }, extractionStepMs);
    run.close();
    return ended;
}

void HZip::WaitFinished()
{
    if (!process) {
        return;
    }
    awaitRun(*process, [this] { return keepRunning(); });
    process->close();
}

void HZip::on_ProcessResult()
{
    if (!process) {
        return;
    }
    output += decoder->toUnicode(process->readAllStandardOutput());
}
