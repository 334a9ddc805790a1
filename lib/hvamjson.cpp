#include "hvamjson.h"

#include "hfile.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonParseError>
#include <QPainter>
#include <QPoint>
#include <QTableWidget>

namespace {

const QString addonPackages = QStringLiteral("AddonPackages");

// Scene values are written by anyone: a value may only name something inside the game
// root, so that neither its source nor its target leaves the root or the destination.
bool staysInside(const QString& relative)
{
    bool inside = !relative.isEmpty() && !relative.contains(QLatin1Char('\\')) &&
                  !relative.startsWith(QLatin1Char('/'));
    const QStringList segments = relative.split(QLatin1Char('/'));
    for (const QString& segment : segments) {
        const bool drive =
            segment.size() == 2 && segment.at(0).isLetter() && segment.at(1) == QLatin1Char(':');
        inside = inside && segment != QLatin1String("..") && !drive;
    }
    if (!inside) {
        qDebug().noquote() << "Skipped:" << relative;
    }
    return inside;
}

bool isPlainFileName(const QString& name)
{
    return !name.isEmpty() && !name.contains(QLatin1Char('/')) &&
           !name.contains(QLatin1Char('\\')) && !name.contains(QLatin1Char(':'));
}

QString joined(const QString& folder, const QString& relative)
{
    return folder + QLatin1Char('/') + relative;
}

QString replaced(QString text, const QString& before, const QString& after)
{
    return text.replace(before, after);
}

// Copies root/relative to destination/relative unless the relative path leads out.
void copyRelative(const QString& root, const QString& destination, const QString& relative)
{
    if (staysInside(relative)) {
        HFile::copyFile(joined(root, relative), joined(destination, relative));
    }
}

void copyPackage(const QString& root, const QString& destination, const QString& package)
{
    const QString name = package + QStringLiteral(".var");
    if (!isPlainFileName(package)) {
        qDebug().noquote() << "Skipped package:" << package;
        return;
    }
    QString found;
    if (HFile::searchFile(joined(root, addonPackages), name, found)) {
        HFile::copyFile(found, joined(joined(destination, addonPackages), name));
    }
}

void copyResource(const QString& root, const QString& destination, const VamPath& path)
{
    const QString& value = path.value;
    const int packageEnd = value.indexOf(QStringLiteral(":/"));
    if (packageEnd > 0) {
        if (value.indexOf(QStringLiteral("://")) <= 0) {
            copyPackage(root, destination, value.left(packageEnd));
        }
        return;
    }
    if (path.key == QLatin1String("morphs")) {
        copyRelative(root, destination, value);
        copyRelative(root, destination,
                     replaced(value, QStringLiteral(".vmi"), QStringLiteral(".vmb")));
    } else if (path.key == QLatin1String("clothing")) {
        if (staysInside(value)) {
            HFile::copyPath(joined(root, value), joined(destination, value));
        }
    } else if (path.key == QLatin1String("hair")) {
        copyRelative(root, destination, value);
        copyRelative(root, destination,
                     replaced(value, QStringLiteral(".vam"), QStringLiteral(".vaj")));
        copyRelative(root, destination,
                     replaced(value, QStringLiteral(".vam"), QStringLiteral(".vab")));
        copyRelative(root, destination,
                     replaced(value, QStringLiteral(".vam"), QStringLiteral(".jpg")));
    } else {
        copyRelative(root, destination, value);
    }
}

void readPlugins(const QJsonObject& storable, VamAtom& atom)
{
    const QJsonObject plugins = storable.value(QStringLiteral("plugins")).toObject();
    for (int n = 0;; ++n) {
        const QJsonValue plugin = plugins.value(QStringLiteral("plugin#") + QString::number(n));
        if (plugin.isUndefined() || plugin.isNull()) {
            break;
        }
        atom.plugins.append(plugin.toString());
        qDebug().noquote() << "plugins:" << atom.plugins.last();
    }
}

void readActions(const QJsonObject& trigger, const QString& phase, VamActionGroup& group)
{
    group.name = phase;
    const QJsonArray actions = trigger.value(phase).toArray();
    for (const QJsonValue& element : actions) {
        const QJsonObject object = element.toObject();
        VamAction action;
        action.receiverAtom = object.value(QStringLiteral("receiverAtom")).toString();
        action.receiver = object.value(QStringLiteral("receiver")).toString();
        action.receiverTargetName = object.value(QStringLiteral("receiverTargetName")).toString();
        qDebug().noquote() << action.receiverAtom;
        group.actions.append(action);
    }
}

void readStorable(const QJsonObject& storable, VamAtom& atom)
{
    const QString id = storable.value(QStringLiteral("id")).toString();
    if (id == QLatin1String("PluginManager")) {
        readPlugins(storable, atom);
    } else if (id == QLatin1String("control")) {
        const QJsonValue linkTo = storable.value(QStringLiteral("linkTo"));
        if (!linkTo.isUndefined() && !linkTo.isNull()) {
            atom.linkTo = linkTo.toString();
            qDebug().noquote() << "LinkTo:" << atom.linkTo;
        }
    } else if (id == QLatin1String("Trigger")) {
        const QJsonObject trigger = storable.value(QStringLiteral("trigger")).toObject();
        readActions(trigger, QStringLiteral("startActions"), atom.startActions);
        readActions(trigger, QStringLiteral("transitionActions"), atom.transitionActions);
        readActions(trigger, QStringLiteral("endActions"), atom.endActions);
    } else if (id == QLatin1String("Text")) {
        atom.text = storable.value(QStringLiteral("text")).toString();
        qDebug().noquote() << "Text:" << atom.text;
    }
}

} // namespace

HVamJson::HVamJson() : fileName(QStringLiteral("")) {}

HVamJson::~HVamJson() = default;

bool HVamJson::Load(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qDebug().noquote() << "open" << path << "Error!";
        return false;
    }
    const QByteArray bytes = file.readAll();
    file.close();

    QJsonParseError error;
    doc = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError) {
        qDebug().noquote() << error.errorString();
        return false;
    }
    if (doc.isNull()) {
        qDebug() << "Doc is NULL";
        return false;
    }
    fileName = path;
    return true;
}

bool HVamJson::isEmpty() const
{
    return fileName.isEmpty();
}

bool HVamJson::getDependencies(QStringList& list) const
{
    list.clear();
    const QJsonObject dependencies = doc.object().value(QStringLiteral("dependencies")).toObject();
    for (auto it = dependencies.begin(); it != dependencies.end(); ++it) {
        list.append(it.key());
        list.append(it.value().toObject().value(QStringLiteral("licenseType")).toString());
    }
    return true;
}

bool HVamJson::getContentList(QStringList& list) const
{
    list.clear();
    const QJsonArray contents = doc.object().value(QStringLiteral("contentList")).toArray();
    for (const QJsonValue& entry : contents) {
        list.append(entry.toString());
    }
    return true;
}

bool HVamJson::searchPathString()
{
    paths.clear();
    iteratorObj(doc.object(), QString());
    return true;
}

void HVamJson::iteratorObj(const QJsonObject& object, const QString& prefix)
{
    for (auto it = object.begin(); it != object.end(); ++it) {
        const QString keyPath = prefix + QLatin1Char('/') + it.key();
        const QJsonValue value = it.value();
        if (value.isObject()) {
            iteratorObj(value.toObject(), keyPath);
        } else if (value.isArray()) {
            iteratorArray(value.toArray(), keyPath);
        } else {
            const QString text = value.toString();
            if (text.indexOf(QLatin1Char('/')) > 0) {
                qDebug().noquote() << keyPath << "===" << text;
                paths.push_back(std::make_unique<VamPath>(keyPath, text));
            }
        }
    }
}

void HVamJson::iteratorArray(const QJsonArray& array, const QString& prefix)
{
    for (const QJsonValue& element : array) {
        if (element.isObject()) {
            iteratorObj(element.toObject(), prefix);
        } else if (element.isArray()) {
            iteratorArray(element.toArray(), prefix);
        } else {
            qDebug().noquote() << QStringLiteral("Value(Array)=") + element.toString();
        }
    }
}

void HVamJson::FillTable(QTableWidget* table) const
{
    table->setRowCount(int(paths.size()));
    for (int row = 0; row < int(paths.size()); ++row) {
        table->setItem(row, 0, new QTableWidgetItem(paths[row]->key));
        table->setItem(row, 1, new QTableWidgetItem(paths[row]->value));
    }
}

bool HVamJson::enumAtom()
{
    atoms.clear();
    const QJsonObject top = doc.object();
    int index = 0;
    for (auto it = top.begin(); it != top.end(); ++it, ++index) {
        qDebug() << index;
        qDebug().noquote() << it.key();
    }

    const QJsonArray sceneAtoms = top.value(QStringLiteral("atoms")).toArray();
    for (const QJsonValue& element : sceneAtoms) {
        const QJsonObject object = element.toObject();
        VamAtom atom;
        atom.id = object.value(QStringLiteral("id")).toString();
        atom.type = object.value(QStringLiteral("type")).toString();
        qDebug() << "******";
        qDebug().noquote() << "Atom:" << atom.id;
        const QJsonArray storables = object.value(QStringLiteral("storables")).toArray();
        for (const QJsonValue& storable : storables) {
            readStorable(storable.toObject(), atom);
        }
        atoms.append(atom);
    }
    return true;
}

void HVamJson::arrangeAtom()
{
    QHash<QString, QPoint> columns;
    int nextX = 50;
    for (VamAtom& atom : atoms) {
        atom.width = 80;
        atom.height = 20;
        auto column = columns.find(atom.type);
        if (column != columns.end()) {
            column->ry() += 30;
        } else {
            column = columns.insert(atom.type, QPoint(nextX, 20));
            nextX += 90;
        }
        atom.x = column->x();
        atom.y = column->y();
    }
}

void HVamJson::paint(QPainter* painter) const
{
    for (const VamAtom& atom : atoms) {
        const QString label = !atom.text.isEmpty() ? atom.text
                              : !atom.id.isEmpty() ? atom.id
                                                   : atom.type;
        const int left = atom.x - atom.width / 2;
        painter->drawRect(left, atom.y - atom.height / 2, atom.width, atom.height);
        painter->drawText(QPoint(left, atom.y + atom.height / 2), label);
    }
}

bool HVamJson::pathSplitRoot(const QString& path, QString& root, QString& rest)
{
    root = path;
    for (;;) {
        if (QFileInfo(root + QStringLiteral("/VaM.exe")).isFile()) {
            rest = path.mid(root.size() + 1);
            return true;
        }
        const int slash = root.lastIndexOf(QLatin1Char('/'));
        if (slash < 0) {
            return false;
        }
        root.truncate(slash);
    }
}

bool HVamJson::copyTo(const QString& destination, bool inSubFolder)
{
    const int count = int(paths.size());
    emit sig_prog(0, count + 1);

    const QFileInfo scene(fileName);
    const QString sceneDir = scene.absolutePath();
    const QString sceneName = scene.fileName();
    qDebug().noquote() << sceneDir;
    qDebug().noquote() << sceneName;
    qDebug().noquote() << destination;
    // Without a scene or a destination there is nothing to copy and nowhere to put it.
    if (isEmpty() || destination.isEmpty()) {
        return false;
    }

    QString root;
    QString relativeDir;
    if (!pathSplitRoot(sceneDir, root, relativeDir)) {
        return false;
    }
    qDebug().noquote() << root;
    qDebug().noquote() << relativeDir;

    QString target = QDir::cleanPath(QDir(destination).absolutePath());
    if (inSubFolder) {
        target += QLatin1Char('/') + sceneName;
    }
    HFile::mkMutiDir(target);

    // A scene straight in the game root has no relative folder.
    const QString scenePrefix = relativeDir.isEmpty() ? QString() : relativeDir + QLatin1Char('/');
    copyRelative(root, target, scenePrefix + sceneName);
    copyRelative(root, target,
                 scenePrefix +
                     replaced(sceneName, QStringLiteral(".json"), QStringLiteral(".jpg")));
    emit sig_prog(1, 0);

    for (int i = 0; i < count; ++i) {
        copyResource(root, target, *paths[size_t(i)]);
        emit sig_prog(i + 2, 0);
    }
    return true;
}
