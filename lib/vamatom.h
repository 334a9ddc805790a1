#ifndef VAMATOM_H
#define VAMATOM_H

#include <QList>
#include <QString>
#include <QStringList>

/// One action of a scene trigger: which atom and component receive it.
struct VamAction
{
    QString receiverAtom;
    QString receiver;
    QString receiverTargetName;
};

/// The actions of one trigger phase ("startActions", "transitionActions" or "endActions").
struct VamActionGroup
{
    QString name;
    QList<VamAction> actions;
};

/// One atom of a scene with what the atom analysis finds in its storables, and its box
/// (centre and size) once the atoms have been laid out.
struct VamAtom
{
    QString type;
    qint32 x = 0;
    qint32 y = 0;
    qint32 width = 0;
    qint32 height = 0;
    QString id;
    QStringList plugins;
    QString linkTo;
    VamActionGroup startActions;
    VamActionGroup transitionActions;
    VamActionGroup endActions;
    QString text;
};

#endif // VAMATOM_H
