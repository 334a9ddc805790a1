// Paints the eight placeholder pictures that the content list shows for members
// without a picture of their own (a coloured tile with a symbol and a word), and the
// program's icon into an icon theme folder: one SVG and the PNG sizes of menus and docks.
#include "appicon.h"

#include <QColor>
#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgGenerator>
#include <QTextStream>

namespace {

struct Tile
{
    const char* file;
    const char* symbol;
    const char* word;
    QColor color;
};

QImage paintTile(const Tile& tile)
{
    QImage image(256, 256, QImage::Format_RGB32);
    image.fill(QColor(245, 245, 245));
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(tile.color);
    painter.drawRoundedRect(QRectF(16, 16, 224, 224), 24, 24);

    painter.setPen(Qt::white);
    QFont symbolFont(QStringLiteral("DejaVu Sans"));
    symbolFont.setPixelSize(96);
    symbolFont.setBold(true);
    painter.setFont(symbolFont);
    painter.drawText(QRect(16, 28, 224, 130), Qt::AlignCenter, QString::fromUtf8(tile.symbol));

    QFont wordFont(QStringLiteral("DejaVu Sans"));
    wordFont.setPixelSize(30);
    painter.setFont(wordFont);
    painter.drawText(QRect(16, 160, 224, 60), Qt::AlignCenter, QString::fromUtf8(tile.word));
    return image;
}

// Creates the folder that is to hold the file at `path`.
bool makeFolderFor(const QString& path, QTextStream& err)
{
    const QString folder = QFileInfo(path).path();
    if (QDir().mkpath(folder)) {
        return true;
    }
    err << "cannot create " << folder << "\n";
    return false;
}

bool writeAppIcons(const QDir& theme, QTextStream& err)
{
    const QString svgPath = theme.filePath(QStringLiteral("scalable/apps/quillmark.svg"));
    if (!makeFolderFor(svgPath, err)) {
        return false;
    }
    QSvgGenerator svg;
    svg.setFileName(svgPath);
    svg.setSize(QSize(256, 256));
    svg.setViewBox(QRect(0, 0, 256, 256));
    svg.setTitle(QStringLiteral("Quillmark"));
    {
        QPainter painter(&svg);
        paintAppIcon(painter, 256);
    }
    for (const int size : {16, 24, 32, 48, 64, 128, 256}) {
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        {
            QPainter painter(&image);
            paintAppIcon(painter, size);
        }
        const QString path = theme.filePath(QStringLiteral("%1x%1/apps/quillmark.png").arg(size));
        if (!makeFolderFor(path, err)) {
            return false;
        }
        if (!image.save(path, "PNG")) {
            err << "cannot write " << path << "\n";
            return false;
        }
    }
    return true;
}

} // namespace

int main(int argc, char* argv[])
{
    QGuiApplication app(argc, argv);
    QTextStream err(stderr);
    if (argc != 3) {
        err << "usage: makeicons <picture folder> <icon theme folder>\n";
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!out.exists() && !QDir().mkpath(out.path())) {
        err << "cannot create " << out.path() << "\n";
        return 1;
    }
    const Tile tiles[] = {
        {"file.jpg", "\xE2\x96\xA4", "FILE", QColor(110, 120, 135)},
        {"json.jpg", "{ }", "JSON", QColor(200, 140, 30)},
        {"jpg.jpg", "\xE2\x96\xA3", "BIG JPG", QColor(40, 130, 190)},
        {"png.jpg", "\xE2\x96\xA3", "BIG PNG", QColor(30, 160, 140)},
        {"asset.jpg", "\xE2\x97\x86", "ASSET", QColor(130, 80, 180)},
        {"music.jpg", "\xE2\x99\xAB", "SOUND", QColor(210, 70, 110)},
        {"cs.jpg", "C#", "SCRIPT", QColor(60, 150, 60)},
        {"cslist.jpg", "\xE2\x89\xA1", "SCRIPTS", QColor(40, 110, 50)},
    };
    for (const Tile& tile : tiles) {
        const QString target = out.filePath(QString::fromLatin1(tile.file));
        if (!paintTile(tile).save(target, "JPG", 90)) {
            err << "cannot write " << target << "\n";
            return 1;
        }
    }
    return writeAppIcons(QDir(QString::fromLocal8Bit(argv[2])), err) ? 0 : 1;
}
