#include "picturerelease.h"

#include "contentpictures.h"

#include <algorithm>
#include <chrono>

PictureRelease::~PictureRelease()
{
    finish(0);
}

void PictureRelease::release(std::unique_ptr<ContentPictures> pictures)
{
    // Stopped here rather than on the new thread: the next inspection raises the stop
    // flag that the readers look at again at once.
    pictures->stop();
    std::lock_guard<std::mutex> lock(mutex);
    joinEnded();
    auto ended = std::make_shared<std::atomic_bool>(false);
    auto* released = pictures.release();
    std::thread thread([this, released, ended] {
        released->remember([this] { return !abandon; });
        delete released;
        {
            std::lock_guard<std::mutex> lock(mutex);
            *ended = true;
        }
        endedOne.notify_all();
    });
    releases.push_back({std::move(thread), ended});
}

void PictureRelease::joinEnded()
{
    const auto running = std::partition(releases.begin(), releases.end(),
                                        [](const Release& release) { return !*release.ended; });
    for (auto release = running; release != releases.end(); ++release) {
        release->thread.join();
    }
    releases.erase(running, releases.end());
}

void PictureRelease::finish(int graceMs)
{
    std::unique_lock<std::mutex> lock(mutex);
    endedOne.wait_for(lock, std::chrono::milliseconds(graceMs), [this] {
        return std::all_of(releases.cbegin(), releases.cend(),
                           [](const Release& release) { return bool(*release.ended); });
    });
    abandon = true;
    std::vector<Release> left;
    left.swap(releases);
    lock.unlock();
    for (Release& release : left) {
        release.thread.join();
    }
    abandon = false;
}
