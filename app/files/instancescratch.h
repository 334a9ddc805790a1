#ifndef INSTANCESCRATCH_H
#define INSTANCESCRATCH_H

#include <QLockFile>
#include <QString>

/// The scratch folder of one running instance of the program: a folder of its own
/// inside the shared scratch folder, so that two instances never meet in their
/// extracted files. A lock file beside it tells a running instance from a crashed
/// one; what crashed instances left behind is cleared when the next one starts.
class InstanceScratch
{
public:
    /// Clears what no running instance holds inside `root`, then makes the folder.
    explicit InstanceScratch(const QString& root);
    /// Removes the folder with everything in it.
    ~InstanceScratch();
    InstanceScratch(const InstanceScratch&) = delete;
    InstanceScratch& operator=(const InstanceScratch&) = delete;

    QString path() const;
    /// Removes everything inside the folder, files and folders alike.
    void clear() const;

private:
    QString folder;
    QLockFile lock;
};

#endif // INSTANCESCRATCH_H
