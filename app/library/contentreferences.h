#ifndef CONTENTREFERENCES_H
#define CONTENTREFERENCES_H

#include <QString>
#include <QVector>

/// One package that the content of a package uses.
struct ContentReference
{
    QString name;   ///< as first written, e.g. "Creator.Package.12" or "Creator.Package.latest"
    QString member; ///< the first member that uses it, e.g. "Saves/scene/Party.json"
};

/// What reading the content of one package found.
struct ContentReferences
{
    QVector<ContentReference> references; ///< distinct ignoring case, in the order met
    int membersScanned = 0; ///< content members read to their end
    int membersSkipped = 0; ///< content members over a bound or not readable
    bool complete = false;  ///< every content member read and no reference dropped
    QString problem;        ///< why the archive could not be opened; else empty
};

Q_DECLARE_TYPEINFO(ContentReference, Q_MOVABLE_TYPE);

#endif // CONTENTREFERENCES_H
