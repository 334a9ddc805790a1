// Loads arbitrary bytes as a package or scene document and runs every query and the
// scene analysis on it, painting the atoms onto an image.
#include "hvamjson.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>

#include <sanitizer/lsan_interface.h>

#include <cstdint>
#include <cstdlib>
#include <memory>

namespace {

QString documentPath;

// The analysis writes a debug line per value; at thousands of runs a second they
// would only slow the search down.
void quiet(QtMsgType, const QMessageLogContext&, const QString&) {}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Painting text needs the fonts of a GUI application; both live as long as the process.
    static QGuiApplication application(*argc, *argv);
    static QTemporaryDir folder;
    if (!folder.isValid()) {
        abort();
    }
    documentPath = folder.filePath(QStringLiteral("document.json"));
    qInstallMessageHandler(quiet);
    // Fonts are found and cached at the first text drawn; done here, that work is
    // not taken for a leak of the first input.
    QImage image(8, 8, QImage::Format_ARGB32_Premultiplied);
    QPainter(&image).drawText(QPoint(0, 8), QStringLiteral("Ag \u65E5\u0416"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QFile file(documentPath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(reinterpret_cast<const char*>(data), qint64(size)) != qint64(size)) {
        abort();
    }
    file.close();

    HVamJson document;
    bool loaded = false;
    {
        // Qt's JSON parser loses part of the tree it built when it gives up on a broken
        // document. The suppression of that leak names Qt's entry point, which a stack
        // kept to 30 frames no longer reaches once the document nests ten levels deep.
        __lsan::ScopedDisabler qtParser;
        loaded = document.Load(documentPath);
    }
    if (loaded == document.isEmpty()) {
        abort();
    }
    QStringList dependencies;
    document.getDependencies(dependencies);
    if (dependencies.size() % 2 != 0) {
        abort();
    }
    QStringList contents;
    document.getContentList(contents);
    document.searchPathString();
    document.enumAtom();
    document.arrangeAtom();

    QImage image(320, 240, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter painter(&image);
    document.paint(&painter);
    return 0;
}
