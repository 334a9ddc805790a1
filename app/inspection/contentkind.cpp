#include "contentkind.h"

#include <iterator>

namespace {

struct Category
{
    const char* marker;
    const char* label;
};

const Category categories[] = {
    {"Saves/scene/", "\u301001 Scene\u3011"},
    {"/SubScene/", "\u301002 SubScene\u3011"},
    {"/appearance/", "\u301003 appearance\u3011"},
    {"/clothing/", "\u301004 Clothing\u3011"},
    {"/hair/", "\u301005 Hair\u3011"},
    {"/Pose/", "\u301006 Pose\u3011"},
    {"/Asset", "\u301007 assetbundle\u3011"},
    {"/Preset_", "\u301008 Preset\u3011"},
};

QString extensionOf(const QString& path)
{
    const int dot = path.lastIndexOf(QLatin1Char('.'));
    return dot > 0 ? path.mid(dot + 1).toLower() : QString();
}

ContentKind make(ContentKind::Type type, const char* placeholder)
{
    ContentKind kind;
    kind.type = type;
    kind.placeholder = QString::fromLatin1(placeholder);
    return kind;
}

} // namespace

ContentKind ContentKind::of(const QString& memberPath)
{
    const QString ext = extensionOf(memberPath);
    if (ext == QLatin1String("jpg")) {
        ContentKind kind = make(Picture, "/jpg.jpg");
        kind.categorised = true;
        kind.sizeLimit = 1023999;
        return kind;
    }
    if (ext == QLatin1String("png")) {
        ContentKind kind = make(Picture, "/png.jpg");
        kind.sizeLimit = 511999;
        return kind;
    }
    if (ext == QLatin1String("json")) {
        return make(Document, "/json.jpg");
    }
    if (ext == QLatin1String("assetbundle")) {
        return make(Document, "/asset.jpg");
    }
    if (ext == QLatin1String("vam") || ext == QLatin1String("vaj") || ext == QLatin1String("vab") ||
        ext == QLatin1String("vap")) {
        return make(Document, "/file.jpg");
    }
    if (ext == QLatin1String("wav") || ext == QLatin1String("ogg") || ext == QLatin1String("mp3")) {
        return make(Other, "/music.jpg");
    }
    if (ext == QLatin1String("cs")) {
        return make(Other, "/cs.jpg");
    }
    if (ext == QLatin1String("cslist")) {
        return make(Other, "/cslist.jpg");
    }
    return make(Other, "/file.jpg");
}

int ContentKind::categoryOf(const QString& memberPath)
{
    for (int i = 0; i < int(std::size(categories)); ++i) {
        if (memberPath.contains(QLatin1String(categories[i].marker), Qt::CaseInsensitive)) {
            return i;
        }
    }
    return -1;
}

QString ContentKind::categoryLabel(int category)
{
    return QString::fromUtf8(categories[category].label);
}

bool ContentKind::fits(qint64 size, bool showBigImg) const
{
    return type == Picture && size <= (showBigImg ? maxExtractedSize : sizeLimit);
}
