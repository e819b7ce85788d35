#include "encodestage.h"

namespace kc {

EncodeStage::EncodeStage(int maxPictures) : m_maxPictures(maxPictures > 0 ? maxPictures : 1)
{
    m_thread = std::thread([this] { loop(); });
}

EncodeStage::~EncodeStage()
{
    cancel();
}

bool EncodeStage::post(Work work, bool holdsPicture)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [&] { return m_failed || m_quit || !holdsPicture || m_pictures < m_maxPictures; });
    if (m_failed || m_quit)
        return false;
    m_queue.push_back(Item{std::move(work), holdsPicture});
    if (holdsPicture)
        ++m_pictures;
    m_changed.notify_all();
    return true;
}

bool EncodeStage::drain(QString *error)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [&] { return m_failed || m_quit || (m_queue.empty() && !m_busy); });
    if (m_failed && error)
        *error = m_error;
    return !m_failed && !m_quit;
}

bool EncodeStage::busy()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return !m_failed && !m_quit && (!m_queue.empty() || m_busy);
}

void EncodeStage::cancel()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_quit = true;
        m_changed.notify_all();
    }
    if (m_thread.joinable())
        m_thread.join();
    // Queued work may own pictures; they go with it, on this thread.
    std::deque<Item> dropped;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        dropped.swap(m_queue);
        m_pictures = 0;
    }
}

void EncodeStage::loop()
{
    for (;;) {
        Item item;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_changed.wait(lock, [&] { return m_quit || !m_queue.empty(); });
            if (m_quit)
                return;
            item = std::move(m_queue.front());
            m_queue.pop_front();
            m_busy = true;
        }
        QString error;
        const bool ok = item.work(&error);
        item.work = nullptr; // releases what the work held (a picture) before the queue moves on
        std::lock_guard<std::mutex> lock(m_mutex);
        m_busy = false;
        if (item.picture)
            --m_pictures;
        if (!ok) {
            m_failed = true;
            m_error = error;
            std::deque<Item>().swap(m_queue);
            m_pictures = 0;
        }
        m_changed.notify_all();
    }
}

} // namespace kc
