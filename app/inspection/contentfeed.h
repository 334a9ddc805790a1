#ifndef CONTENTFEED_H
#define CONTENTFEED_H

#include <QElapsedTimer>
#include <QImage>
#include <QString>
#include <QVector>

class QListWidget;

/// Hands the items of the content list from the worker thread to the list on the GUI
/// thread, a batch at a time and in the order made: every change of the list lays it
/// out and paints it again, which item by item would cost the GUI thread more than
/// the items themselves.
class ContentFeed
{
public:
    explicit ContentFeed(QListWidget* list);
    /// Sends what is pending.
    ~ContentFeed();
    ContentFeed(const ContentFeed&) = delete;
    ContentFeed& operator=(const ContentFeed&) = delete;

    /// Removes every item of the list.
    void clear();
    /// Adds an item with `label` as text and tooltip behind those before it.
    void append(const QImage& image, const QString& label);
    /// Sends the pending items once a batch's time is over.
    void sendIfDue();
    /// Sends the pending items now.
    void send();

private:
    struct Item
    {
        QImage image;
        QString label;
    };

    QListWidget* list;
    QVector<Item> pending;
    int sent = 0;
    QElapsedTimer sinceSent;
};

#endif // CONTENTFEED_H
