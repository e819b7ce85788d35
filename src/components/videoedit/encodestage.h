#pragma once

#include <QString>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace kc {

// A second thread for the encoding side of a render, so that decoding the source and
// scaling/encoding/writing the output run side by side rather than in turn. Work runs in the
// order it was posted; the first failure ends the stage and drops what is still queued.
class EncodeStage
{
public:
    using Work = std::function<bool(QString *error)>;

    // At most maxPictures picture items wait at a time (they hold decoded pictures).
    explicit EncodeStage(int maxPictures = 8);
    ~EncodeStage();
    EncodeStage(const EncodeStage &) = delete;
    EncodeStage &operator=(const EncodeStage &) = delete;

    // Queues work, waiting while the queue is full. False once the stage has failed or been
    // cancelled (the reason comes from drain()).
    bool post(Work work, bool holdsPicture = false);
    // Waits until everything posted has run. False, with the reason, when something failed.
    bool drain(QString *error);
    // Work is queued or running (and the stage has neither failed nor been cancelled).
    bool busy();
    // Ends the thread at once; what is queued is dropped.
    void cancel();

private:
    struct Item {
        Work work;
        bool picture = false;
    };
    void loop();

    const int m_maxPictures;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Item> m_queue;
    int m_pictures = 0;
    bool m_busy = false;
    bool m_failed = false;
    bool m_quit = false;
    QString m_error;
    std::thread m_thread;
};

} // namespace kc
