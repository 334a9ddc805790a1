#include "benchpackages.h"

#include "contentkind.h"
#include "rawzip.h"

#include <QBuffer>
#include <QDir>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>

#include <algorithm>
#include <cstdio>

namespace BenchPackages {

QByteArray photo(int seed)
{
    QImage image(512, 512, QImage::Format_RGB32);
    QRandomGenerator random(quint32(seed + 1));
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int noise = int(random.bounded(40));
            line[x] = qRgb((x + seed * 7) % 256, (y + noise) % 256, (x + y + noise) % 256);
        }
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG", 85);
    return bytes;
}

QMap<QString, QByteArray> largePackage(int pictures, int total)
{
    QVector<QByteArray> photos;
    for (int i = 0; i < 8; ++i) {
        photos << photo(i);
    }
    QMap<QString, QByteArray> members{{"meta.json", "{\"dependencies\":{}}"}};
    for (int i = 0; i < pictures; ++i) {
        const QByteArray& jpg = photos.at(i % photos.size());
        QString base;
        QStringList companions;
        switch (i % 4) {
        case 0:
            base = QString("Saves/scene/Scene%1.").arg(i);
            companions = QStringList{"json"};
            break;
        case 1:
            base = QString("Custom/Clothing/Female/Maker/Item%1/Item%1.").arg(i);
            companions = QStringList{"vam", "vaj", "vab"};
            break;
        case 2:
            base = QString("Custom/Hair/Female/Maker/Hair%1.").arg(i);
            companions = QStringList{"vam", "vaj", "vab"};
            break;
        default:
            base = QString("Custom/Atom/Person/Appearance/Preset_Look%1.").arg(i);
            companions = QStringList{"vap"};
            break;
        }
        members.insert(base + "jpg", jpg);
        for (const QString& ext : companions) {
            if (members.size() < total) {
                members.insert(base + ext, "{}");
            }
        }
    }
    for (int i = 0; members.size() < total; ++i) {
        members.insert(QString("Custom/Sounds/Sound%1.wav").arg(i), QByteArray(2000, 's'));
    }
    return members;
}

int contentItems(const QMap<QString, QByteArray>& members)
{
    return members.size() -
           int(std::count_if(members.keyBegin(), members.keyEnd(), [](const QString& path) {
               return ContentKind::of(path).type == ContentKind::Document;
           }));
}

QStringList makeLibrary(const QString& root, int count)
{
    QRandomGenerator random(20261207);
    QStringList made;
    for (int i = 0; i < count; ++i) {
        const int group = i / 3;
        const QString key = QString::asprintf("Creator%03d.Item%05d", group % 500, group);
        const QString name = key + QString::asprintf(".%d", 1 + 2 * (i % 3) + random.bounded(2));
        const auto referenceTo = [&random, &made]() {
            const int roll = random.bounded(100);
            if (made.isEmpty() || roll < 5) {
                return QString::asprintf("Gone.Thing%d.1", random.bounded(1000));
            }
            const QString target = made.at(random.bounded(made.size()));
            return roll < 35 ? target.left(target.lastIndexOf('.')) + ".latest" : target;
        };
        QJsonObject dependencies;
        for (int d = random.bounded(11); d > 0; --d) {
            QJsonObject dependency{{"licenseType", "CC BY"}};
            if (random.bounded(5) == 0) {
                dependency.insert("dependencies", QJsonObject{{referenceTo(), QJsonObject()}});
            }
            dependencies.insert(referenceTo(), dependency);
        }
        const QByteArray meta =
            QJsonDocument(QJsonObject{{"licenseType", "CC BY"}, {"dependencies", dependencies}})
                .toJson();
        const QString folder = QString::asprintf("%s/%03d/", qPrintable(root), group % 500);
        if (!QDir().mkpath(folder) ||
            !RawZip::write(folder + name + ".var",
                           {{"meta.json", meta}, {"Saves/scene/a.json", "{}"}})) {
            std::fprintf(stderr, "cannot create %s\n", qPrintable(name));
            return {};
        }
        made << name;
    }
    return made;
}

} // namespace BenchPackages
