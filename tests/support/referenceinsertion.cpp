#include "referenceinsertion.h"

#include "varfile.h"

void referenceInsert(QVector<varFile*>& files, varFile* file)
{
    for (int i = 0; i < files.size(); ++i) {
        varFile* existing = files.at(i);
        if (file->isSameFile(*existing)) {
            existing->duplicate = true;
            file->duplicate = true;
        }
        if (file->compareName(*existing) < 0) {
            files.insert(i, file);
            return;
        }
    }
    files.append(file);
}
