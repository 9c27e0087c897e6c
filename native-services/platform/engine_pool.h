// Ready-made engines that are costly to start, kept for the next call. A leased engine belongs
// to one thread until the lease ends; it then goes back to the pool for whichever thread asks
// next, so the pool holds as many engines as calls ever ran at once (up to `max_idle`).
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace lv {

template <class Engine>
class EnginePool {
public:
    using Factory = std::function<std::unique_ptr<Engine>()>;

    class Lease {
    public:
        Lease() = default;
        Lease(EnginePool *pool, std::unique_ptr<Engine> engine) : pool_(pool), engine_(std::move(engine)) {}
        Lease(Lease &&other) noexcept = default;
        Lease &operator=(Lease &&other) noexcept = default;
        Lease(const Lease &) = delete;
        Lease &operator=(const Lease &) = delete;
        ~Lease() {
            if (pool_ && engine_) pool_->give_back(std::move(engine_));
        }
        Engine *get() const { return engine_.get(); }
        Engine *operator->() const { return engine_.get(); }
        explicit operator bool() const { return engine_ != nullptr; }
        // A failed engine is not worth keeping: the next call starts a fresh one.
        void discard() { engine_.reset(); }

    private:
        EnginePool *pool_ = nullptr;
        std::unique_ptr<Engine> engine_;
    };

    // Idle engines beyond `max_idle` are released: a burst of calls does not hold its memory.
    EnginePool(Factory factory, std::size_t max_idle) : factory_(std::move(factory)), max_idle_(max_idle) {}

    // As many idle engines as the machine runs calls at once, and at least two.
    static std::size_t default_max_idle() {
        const std::size_t cores = std::thread::hardware_concurrency();
        return cores < 2 ? 2 : cores;
    }

    // An idle engine, or a new one from the factory; an empty lease when the factory fails.
    Lease acquire() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (!idle_.empty()) {
                std::unique_ptr<Engine> engine = std::move(idle_.back());
                idle_.pop_back();
                return Lease(this, std::move(engine));
            }
        }
        std::unique_ptr<Engine> engine = factory_();
        if (!engine) return Lease();
        return Lease(this, std::move(engine));
    }

private:
    void give_back(std::unique_ptr<Engine> engine) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (idle_.size() < max_idle_) {
                idle_.push_back(std::move(engine));
                return;
            }
        }
        engine.reset();  // released outside the lock
    }

    Factory factory_;
    std::size_t max_idle_;
    std::mutex mutex_;
    std::vector<std::unique_ptr<Engine>> idle_;
};

}  // namespace lv
