#ifndef VAMPATH_H
#define VAMPATH_H

#include "dovetalk_global.h"

#include <QObject>
#include <QString>

/// A string of a scene document that looks like a resource path, with the key it was
/// found under.
class DOVETALK_EXPORT VamPath : public QObject
{
public:
    /// `keyPath` is the chain of member names from the top of the document, each
    /// preceded by "/". Under an atom's storables the key is the storable member that
    /// holds the value ("/atoms/storables/clothing/id" gives "clothing"); elsewhere it
    /// is the whole key path.
    VamPath(const QString& keyPath, const QString& value);

    QString key;
    QString value;
};

#endif // VAMPATH_H
