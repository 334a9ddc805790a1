#ifndef HVAMJSON_H
#define HVAMJSON_H

#include "dovetalk_global.h"
#include "vamatom.h"
#include "vampath.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVector>

#include <memory>
#include <vector>

class QPainter;
class QTableWidget;

/// One JSON document of the game: a package's meta.json or a scene.
///
/// Package queries: Load, then getDependencies or getContentList.
/// Scene analysis: Load, then searchPathString (before FillTable or copyTo), and
/// enumAtom, then arrangeAtom, before paint.
class DOVETALK_EXPORT HVamJson : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(HVamJson)
public:
    HVamJson();
    ~HVamJson() override;

    /// Reads and parses the file; true when it was opened and parsed. On failure
    /// `fileName` keeps its value and `doc` may have been replaced by a null document.
    bool Load(const QString& path);
    /// True until a Load has succeeded.
    bool isEmpty() const;

    /// Fills `list` with dependency name, licence type, name, licence type, ... in the
    /// order of the names. Always true.
    bool getDependencies(QStringList& list) const;
    /// Fills `list` with the entries of "contentList" (empty for a non-string entry).
    /// Always true.
    bool getContentList(QStringList& list) const;

    /// Collects every member string that holds a "/" after its first character into
    /// `paths`. Strings that stand directly in arrays are not collected. Always true.
    bool searchPathString();
    void iteratorObj(const QJsonObject& object, const QString& prefix);
    void iteratorArray(const QJsonArray& array, const QString& prefix);
    /// Shows `paths` as rows of key and value; the table owns the new items.
    void FillTable(QTableWidget* table) const;

    /// Builds one record per atom of the scene into `atoms`. Always true.
    bool enumAtom();
    /// Gives every atom a box: one column per type, in order of first appearance.
    void arrangeAtom();
    /// Draws each atom's box with its label (text, else id, else type).
    void paint(QPainter* painter) const;

    /// Copies the scene, its thumbnail and every resource in `paths` from the game's
    /// tree into `destination` (into destination/<scene file name> with
    /// `inSubFolder`), keeping paths relative to the game root; resources inside
    /// packages are copied as whole packages into destination/AddonPackages. Nothing
    /// is overwritten, and values that would lead out of the game root are skipped.
    /// Returns false when no game root is found above the scene; reports progress
    /// through sig_prog.
    bool copyTo(const QString& destination, bool inSubFolder);
    /// Finds the nearest folder at or above `path` that holds "VaM.exe": `root` is that
    /// folder and `rest` the part of `path` below it.
    static bool pathSplitRoot(const QString& path, QString& root, QString& rest);

    QString fileName;
    QJsonDocument doc;
    std::vector<std::unique_ptr<VamPath>> paths;
    QVector<VamAtom> atoms;

signals:
    /// (0, number of steps), then (step, 0) after each step of copyTo.
    void sig_prog(int, int);
};

#endif // HVAMJSON_H
