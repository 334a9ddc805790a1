#include "packagemover.h"

#include "varfile.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProgressDialog>

#include <thread>

namespace {

const qint64 reportIntervalMs = 100;

QString mebibytes(qint64 bytes)
{
    return QString::number(double(bytes) / (1024 * 1024), 'f', 1);
}

} // namespace

PackageMover::PackageMover(QWidget* window) : window(window) {}

PackageMover::~PackageMover() = default;

QVector<bool> PackageMover::run(const QVector<const varFile*>& packages, int mode,
                                const QString& destPath)
{
    QVector<bool> done(packages.size(), false);
    bool ended = false;
    std::thread mover([&] {
        // A few reports a second: a modal dialog handles events of its own while it
        // shows one, and a flood of them would nest ever deeper.
        QElapsedTimer sinceReport;
        for (int i = 0; i < packages.size() && !cancelled; ++i) {
            const QString name = packages.at(i)->getFileName();
            done[i] = packages.at(i)->moveOrDelete(
                mode, destPath, [&, name](qint64 copied, qint64 total) {
                    if (!sinceReport.isValid() || sinceReport.elapsed() >= reportIntervalMs) {
                        sinceReport.start();
                        QMetaObject::invokeMethod(
                            this, [=] { showProgress(name, copied, total); }, Qt::QueuedConnection);
                    }
                    return !cancelled;
                });
        }
        QMetaObject::invokeMethod(
            this, [&ended] { ended = true; }, Qt::QueuedConnection);
    });
    // Until the modal dialog shows, input waits: a click meanwhile must not start a
    // listing that replaces the packages being moved.
    while (!ended) {
        const bool modal = dialog != nullptr && dialog->isVisible();
        QCoreApplication::processEvents(
            QEventLoop::WaitForMoreEvents |
            (modal ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents));
    }
    mover.join();
    return done;
}

void PackageMover::showProgress(const QString& name, qint64 copied, qint64 total)
{
    if (cancelled) {
        return;
    }
    if (dialog == nullptr) {
        dialog = std::make_unique<QProgressDialog>(window);
        dialog->setWindowTitle(QStringLiteral("Move"));
        dialog->setWindowModality(Qt::WindowModal);
        dialog->setAutoClose(false);
        dialog->setAutoReset(false);
        dialog->setRange(0, 1000);
        connect(dialog.get(), &QProgressDialog::canceled, this, [this] { cancelled = true; });
        dialog->show();
    }
    dialog->setLabelText(
        QStringLiteral("Moving %1\n%2 of %3 MB").arg(name, mebibytes(copied), mebibytes(total)));
    dialog->setValue(total > 0 ? int(copied * 1000 / total) : 1000);
}
