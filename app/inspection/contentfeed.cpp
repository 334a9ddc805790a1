#include "contentfeed.h"

#include <QIcon>
#include <QListWidget>
#include <QPixmap>

namespace {

// Long enough to gather the items of a fast inspection into a few batches, short
// enough that the list seems to fill continuously.
const int batchMs = 100;
// The list lays out all of its items again after each batch: with every thousand
// items in it, batches come this much less often, so that laying out never takes
// most of the GUI thread's time.
const int batchMsPerThousand = 100;

} // namespace

ContentFeed::ContentFeed(QListWidget* list) : list(list)
{
    sinceSent.start();
}

ContentFeed::~ContentFeed()
{
    send();
}

void ContentFeed::clear()
{
    send();
    sent = 0;
    QListWidget* target = list;
    // Widgets belong to the GUI thread; a queued call keeps the order of the changes.
    QMetaObject::invokeMethod(
        target, [target] { target->clear(); }, Qt::QueuedConnection);
}

void ContentFeed::append(const QImage& image, const QString& label)
{
    pending.append({image, label});
    sendIfDue();
}

void ContentFeed::sendIfDue()
{
    if (sinceSent.elapsed() >= batchMs + qint64(sent) * batchMsPerThousand / 1000) {
        send();
    }
}

void ContentFeed::send()
{
    sinceSent.restart();
    if (pending.isEmpty()) {
        return;
    }
    sent += pending.size();
    QListWidget* target = list;
    QMetaObject::invokeMethod(
        target,
        [target, items = std::move(pending)] {
            for (const Item& made : items) {
                auto* item = new QListWidgetItem(QIcon(QPixmap::fromImage(made.image)), made.label);
                item->setToolTip(made.label);
                target->addItem(item);
            }
        },
        Qt::QueuedConnection);
    pending.clear();
}
