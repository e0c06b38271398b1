#include "timers/tickservice.h"

#include "platform/clock.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace zol {

struct TTickClient {
    int interval = kTickPeriodMs;
    void* owner = nullptr;
    TTickCallback callback;
    int pauseCount = 0;
    int elapsed = 0;
    bool removed = false;  // removed by its own callback during a walk
};

namespace {

struct Service {
    std::recursive_mutex lock;
    std::vector<TTickClient*> clients;  // registration order
    platform::TimerId timer = 0;
    std::uint64_t generation = 0;        // ticks of an older timer are ignored
    std::atomic<int> reentry{0};
    bool walking = false;
    std::thread::id walker;

    bool Contains(TTickHandle handle) const
    {
        return std::find(clients.begin(), clients.end(), handle) != clients.end();
    }
};

Service& S()
{
    static Service* service = new Service;  // outlives late timer ticks
    return *service;
}

// Stops the timer once the list is empty. Called with the lock held; the
// timer is killed after the lock is released (its tick may wait for it).
platform::TimerId DetachTimerLocked(Service& s)
{
    if (!s.clients.empty() || s.timer == 0)
        return 0;
    const platform::TimerId id = s.timer;
    s.timer = 0;
    ++s.generation;
    return id;
}

void Tick(std::uint64_t generation)
{
    Service& s = S();
    if (s.reentry.fetch_add(1) == 0) {
        std::lock_guard guard(s.lock);
        if (generation == s.generation && s.timer != 0) {
            s.walking = true;
            s.walker = std::this_thread::get_id();
            // A callback may add or remove clients: walk by index over the
            // list as it was, skipping clients removed meanwhile.
            const size_t count = s.clients.size();
            for (size_t i = 0; i < count && i < s.clients.size(); ++i) {
                TTickClient* client = s.clients[i];
                if (client->removed || client->pauseCount > 0)
                    continue;
                client->elapsed += kTickPeriodMs;
                if (client->elapsed >= client->interval) {
                    client->elapsed = 0;
                    if (client->callback)
                        client->callback(client, client->owner);
                }
            }
            s.walking = false;
            // Free the clients removed by callbacks during the walk.
            for (auto it = s.clients.begin(); it != s.clients.end();) {
                if ((*it)->removed) {
                    delete *it;
                    it = s.clients.erase(it);
                } else {
                    ++it;
                }
            }
            // The last client removed itself: stop the service (a timer may
            // be killed from inside its own tick).
            if (const platform::TimerId stop = DetachTimerLocked(s))
                platform::TheClock().KillTimer(stop);
        }
    }
    s.reentry.fetch_sub(1);
}

}  // namespace

TTickHandle AddTickClient(int intervalMs, int pauseCount, TTickCallback callback, void* owner)
{
    Service& s = S();
    std::lock_guard guard(s.lock);
    if (s.timer == 0) {
        const std::uint64_t generation = ++s.generation;
        s.timer = platform::TheClock().StartPeriodic(kTickPeriodMs * 1000, [generation] { Tick(generation); });
        if (s.timer == 0)
            return nullptr;
    }
    auto* client = new TTickClient;
    client->interval = std::max(intervalMs, kTickPeriodMs);
    client->pauseCount = std::max(pauseCount, 0);
    client->callback = std::move(callback);
    client->owner = owner;
    s.clients.push_back(client);
    return client;
}

void SetTickInterval(TTickHandle handle, int intervalMs)
{
    Service& s = S();
    std::lock_guard guard(s.lock);
    if (handle == nullptr || s.timer == 0 || !s.Contains(handle))
        return;
    handle->interval = std::max(intervalMs, kTickPeriodMs);
    handle->elapsed = 0;
}

void PauseTickClient(TTickHandle handle)
{
    Service& s = S();
    std::lock_guard guard(s.lock);
    if (handle == nullptr || s.timer == 0 || !s.Contains(handle))
        return;
    ++handle->pauseCount;
    handle->elapsed = 0;
}

void ResumeTickClient(TTickHandle handle)
{
    Service& s = S();
    std::lock_guard guard(s.lock);
    if (handle == nullptr || s.timer == 0 || !s.Contains(handle))
        return;
    if (handle->pauseCount > 0)
        --handle->pauseCount;
}

void RemoveTickClient(TTickHandle handle)
{
    Service& s = S();
    platform::TimerId stop = 0;
    {
        std::lock_guard guard(s.lock);
        if (handle == nullptr || s.timer == 0 || !s.Contains(handle) || handle->removed)
            return;
        if (s.walking && s.walker == std::this_thread::get_id()) {
            // Called from a client callback: freed when the walk ends.
            handle->removed = true;
            handle->callback = nullptr;
            return;
        }
        s.clients.erase(std::find(s.clients.begin(), s.clients.end(), handle));
        delete handle;
        stop = DetachTimerLocked(s);
    }
    if (stop != 0)
        platform::TheClock().KillTimer(stop);
}

bool TickServiceRunning()
{
    Service& s = S();
    std::lock_guard guard(s.lock);
    return s.timer != 0;
}

int TickClientCount()
{
    Service& s = S();
    std::lock_guard guard(s.lock);
    int count = 0;
    for (TTickClient* client : s.clients)
        count += client->removed ? 0 : 1;
    return count;
}

}  // namespace zol
