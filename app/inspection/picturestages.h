#ifndef PICTURESTAGES_H
#define PICTURESTAGES_H

#include <QVector>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

/// Where each picture of one inspection is, and the one lock under which the list, the
/// readers and the 7-Zip run move pictures on:
///
///   Waiting -> Ready     its bytes can be had (at once, unless 7-Zip is to write them)
///   Ready   -> Queued    the list has come within the read-ahead of it
///   Queued  -> Reading   a reader took it; that reader alone touches its data now
///   Reading -> Done      the reader put its image in place
///   Waiting, Ready, Queued -> GivenUp   stop() came first
///
/// Whoever sees a picture Done owns its data from then on. Before the pictures are
/// known, the readers read early pictures of their own; the list waits for them to
/// leave those.
///
/// The stop check is stopped(): the inspection's `busy` cleared, or stop() called. How
/// soon a stop takes effect: a wait for a picture or for the early readers within
/// pollTime (20 ms); a reader between two pictures, so within the one it reads, whose
/// decoding is bounded to about 50 ms (see contentpictures.cpp); a reader without work
/// when stop() wakes it, which the inspection's release calls once the inspection has
/// ended; a 7-Zip run at its next stop check (HZip::extractionStepMs, 5 ms).
class PictureStages
{
public:
    enum Stage
    {
        Waiting,
        Ready,
        Queued,
        Reading,
        Done,
        GivenUp,
    };

    /// How often a wait looks at the stop request.
    static constexpr std::chrono::milliseconds pollTime{20};

    explicit PictureStages(const std::atomic_bool& busy);

    /// The one stop check.
    bool stopped() const { return stopping || !busy; }
    /// Gives up every picture not yet taken by a reader and wakes everyone waiting.
    void stop();

    /// `readers` read early pictures until each calls leaveEarly().
    void beginEarly(int readers);
    void leaveEarly();
    /// Waits until every reader has left the early pictures; false when stopped first.
    bool waitForEarlyReaders();

    /// The pictures are known, each in its first stage (Waiting, Ready or Done); the
    /// first `readAhead` of them are queued.
    void list(QVector<Stage> first, int readAhead);
    /// The pictures at `indices` can be read now (7-Zip has written them whole).
    void makeReady(const QVector<int>& indices);
    /// The list wants the picture at `index`: queues it and those up to `readAhead`
    /// after it, then waits until it is Done, calling `whileWaiting` now and then. False
    /// when stopped first: then its data is not the caller's.
    bool waitFor(int index, int readAhead, const std::function<void()>& whileWaiting);

    /// For a reader: the next queued picture, now Reading; -1 once stopped or once every
    /// picture is taken.
    int next();
    /// The reader has put the picture's image in place.
    void finish(int index);

private:
    void queueUpTo(int end);

    const std::atomic_bool& busy;
    std::atomic_bool stopping{false};

    // Standard locks, which thread checkers see.
    std::mutex mutex;
    std::condition_variable changed;
    QVector<Stage> stages;
    bool listed = false; // the pictures are known: readers end once all are taken
    int earlyReaders = 0;
    std::deque<int> queue;
    int firstUnqueued = 0; // every picture before it is past Ready
    int readEnd = 0;       // pictures before it are queued once Ready
};

#endif // PICTURESTAGES_H
