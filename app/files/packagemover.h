// Part "files" (file actions): moving and trashing packages, showing them in the file
// manager, the instance's scratch folder and the data files beside the program. Uses
// the library engine's package records, Qt and Dovetalk; never the window.
#ifndef PACKAGEMOVER_H
#define PACKAGEMOVER_H

#include <QObject>
#include <QString>
#include <QVector>

#include <atomic>
#include <memory>

class QProgressDialog;
class QWidget;
class varFile;

/// Moves or trashes packages one after another on a thread of its own, so that a
/// copy between file systems never freezes the window. Once bytes are copied, a
/// progress dialog shows the package and how much of it has been copied; its Cancel
/// ends the copy under way, which leaves nothing behind, and skips the packages still
/// to come.
class PackageMover : public QObject
{
    Q_OBJECT
public:
    explicit PackageMover(QWidget* window);
    ~PackageMover() override;

    /// Calls `moveOrDelete` of each package in turn and returns, for each, whether it
    /// was dealt with. The window takes no input meanwhile.
    QVector<bool> run(const QVector<const varFile*>& packages, int mode, const QString& destPath);

private:
    void showProgress(const QString& name, qint64 copied, qint64 total);

    QWidget* window;
    std::unique_ptr<QProgressDialog> dialog;
    std::atomic_bool cancelled{false};
};

#endif // PACKAGEMOVER_H
