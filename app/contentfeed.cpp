#include "contentfeed.h"

#include <QIcon>
#include <QListWidget>
#include <QPixmap>

namespace {

// Long enough to gather the items of a fast inspection into a few batches, short
// enough that the list seems to fill continuously.
const int batchMs = 100;

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
    if (sinceSent.elapsed() >= batchMs) {
        send();
    }
}

void ContentFeed::send()
{
    sinceSent.restart();
    if (pending.isEmpty()) {
        return;
    }
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
