#ifndef PICTURERELEASE_H
#define PICTURERELEASE_H

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class ContentPictures;

/// Lets go of the pictures of finished or stopped inspections, each on a thread of its
/// own: their readers are waited for there and the thumbnails they made are stored in
/// the cache, so that neither the window nor the next inspection waits for either, and
/// a quick move to another package keeps what was decoded.
class PictureRelease
{
public:
    PictureRelease() = default;
    /// finish(0).
    ~PictureRelease();
    PictureRelease(const PictureRelease&) = delete;
    PictureRelease& operator=(const PictureRelease&) = delete;

    /// Stops the readers of `pictures` at once and lets the pictures go in the background.
    void release(std::unique_ptr<ContentPictures> pictures);
    /// Waits up to `graceMs` for the pictures let go, then has them give up the rest of
    /// their cache work and waits for them to end (their readers' last picture at most).
    void finish(int graceMs);

private:
    void joinEnded();

    struct Release
    {
        std::thread thread;
        std::shared_ptr<std::atomic_bool> ended;
    };
    std::mutex mutex;
    std::condition_variable endedOne;
    std::vector<Release> releases;
    std::atomic_bool abandon{false};
};

#endif // PICTURERELEASE_H
