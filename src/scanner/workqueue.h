#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>
#include <string>

namespace scanner {

// Paths handed from the walker to the worker threads. Bounded, so that a walk far ahead of
// the scan holds no more than a few thousand paths in memory.
class WorkQueue {
public:
    explicit WorkQueue(size_t capacity) : m_capacity(capacity) {}

    void push(std::string path) {
        std::unique_lock lock(m_mutex);
        m_notFull.wait(lock, [this] { return m_items.size() < m_capacity; });
        m_items.push_back(std::move(path));
        m_notEmpty.notify_one();
    }
    // No more paths: workers drain what is left, then pop() returns nothing.
    void close() {
        std::lock_guard lock(m_mutex);
        m_closed = true;
        m_notEmpty.notify_all();
    }
    std::optional<std::string> pop() {
        std::unique_lock lock(m_mutex);
        m_notEmpty.wait(lock, [this] { return !m_items.empty() || m_closed; });
        if (m_items.empty())
            return std::nullopt;
        std::string path = std::move(m_items.front());
        m_items.pop_front();
        m_notFull.notify_one();
        return path;
    }

    // A path when one is waiting, else nothing at once; closed tells whether none will come.
    std::optional<std::string> tryPop(bool *closed) {
        std::lock_guard lock(m_mutex);
        *closed = m_items.empty() && m_closed;
        if (m_items.empty())
            return std::nullopt;
        std::string path = std::move(m_items.front());
        m_items.pop_front();
        m_notFull.notify_one();
        return path;
    }

private:
    const size_t m_capacity;
    std::mutex m_mutex;
    std::condition_variable m_notEmpty;
    std::condition_variable m_notFull;
    std::deque<std::string> m_items;
    bool m_closed = false;
};

}  // namespace scanner
