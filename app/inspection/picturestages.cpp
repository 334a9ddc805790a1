#include "picturestages.h"

PictureStages::PictureStages(const std::atomic_bool& busy) : busy(busy) {}

void PictureStages::stop()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
        for (Stage& stage : stages) {
            if (stage == Waiting || stage == Ready || stage == Queued) {
                stage = GivenUp;
            }
        }
        queue.clear();
    }
    changed.notify_all();
}

void PictureStages::beginEarly(int readers)
{
    std::lock_guard<std::mutex> lock(mutex);
    earlyReaders = readers;
}

void PictureStages::leaveEarly()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        --earlyReaders;
    }
    changed.notify_all();
}

bool PictureStages::waitForEarlyReaders()
{
    std::unique_lock<std::mutex> lock(mutex);
    while (earlyReaders > 0) {
        if (stopped()) {
            return false;
        }
        changed.wait_for(lock, pollTime);
    }
    return true;
}

void PictureStages::list(QVector<Stage> first, int readAhead)
{
    std::lock_guard<std::mutex> lock(mutex);
    stages = std::move(first);
    listed = true;
    readEnd = readAhead;
    queueUpTo(readEnd);
}

void PictureStages::makeReady(const QVector<int>& indices)
{
    std::lock_guard<std::mutex> lock(mutex);
    for (const int index : indices) {
        if (stages.at(index) == Waiting) {
            stages[index] = Ready;
        }
    }
    queueUpTo(readEnd);
}

bool PictureStages::waitFor(int index, int readAhead, const std::function<void()>& whileWaiting)
{
    std::unique_lock<std::mutex> lock(mutex);
    readEnd = index + readAhead;
    queueUpTo(readEnd);
    while (stages.at(index) != Done && !stopped()) {
        lock.unlock();
        whileWaiting();
        lock.lock();
        if (stages.at(index) != Done) {
            changed.wait_for(lock, pollTime);
        }
    }
    return stages.at(index) == Done;
}

int PictureStages::next()
{
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait(lock, [this] {
        return stopped() || !queue.empty() || (listed && firstUnqueued == stages.size());
    });
    if (stopped() || queue.empty()) {
        return -1;
    }
    const int index = queue.front();
    queue.pop_front();
    stages[index] = Reading;
    return index;
}

void PictureStages::finish(int index)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        stages[index] = Done;
    }
    changed.notify_all();
}

void PictureStages::queueUpTo(int end)
{
    end = qMin(end, stages.size());
    for (int index = firstUnqueued; index < end; ++index) {
        if (stages.at(index) == Ready) {
            stages[index] = Queued;
            queue.push_back(index);
        }
    }
    while (firstUnqueued < stages.size() &&
           (stages.at(firstUnqueued) != Waiting && stages.at(firstUnqueued) != Ready)) {
        ++firstUnqueued;
    }
    changed.notify_all();
}
