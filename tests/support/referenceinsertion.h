#ifndef REFERENCEINSERTION_H
#define REFERENCEINSERTION_H

#include <QVector>

class varFile;

/// The plain way to keep package records sorted: every new record walks the list from
/// its start, marks each record of the same name and size together with itself, and
/// goes before the first record whose name compares greater. Quadratic; the listing's
/// own ordering is checked and timed against it.
void referenceInsert(QVector<varFile*>& files, varFile* file);

#endif // REFERENCEINSERTION_H
