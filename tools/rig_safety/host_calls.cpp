#include "host_calls.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <exception>

#include "seeded_random.h"

namespace tarvelmond::rig_safety {
namespace {

double msBetween(HostCalls::Clock::time_point from, HostCalls::Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// A pause of a few microseconds: sleeping would take far longer than the windows raced for.
void spin(std::chrono::nanoseconds pause) {
    const auto until = HostCalls::Clock::now() + pause;
    while (HostCalls::Clock::now() < until) {
    }
}

}  // namespace

HostCalls::HostCalls(Product& product, CallWatch& watch, test::SafetyMonitor& monitor, double stopBoundMs)
    : product_(product), watch_(watch), monitor_(monitor), stopBoundMs_(stopBoundMs) {
    for (auto& thread : threads_)
        thread = std::make_unique<HostThread>();
}

HostCalls::~HostCalls() {
    for (std::thread& storm : storms_)
        storm.join();
}

void HostCalls::timedOnThisThread(const std::string& name, bool isStop, const std::function<void()>& call) {
    const auto issued = Clock::now();
    {
        auto guard = watch_.watch(name);
        try {
            call();
        } catch (const std::exception& error) {
            monitor_.report(Clock::now(), "bounded stop", name + " threw: " + error.what());
        }
    }
    const auto returned = Clock::now();
    if (isStop && msBetween(issued, returned) > stopBoundMs_) {
        char text[160];
        std::snprintf(text, sizeof text, "%s took %.0f ms (at most %.0f ms)", name.c_str(),
                      msBetween(issued, returned), stopBoundMs_);
        monitor_.report(returned, "bounded stop", text);
    }
}

HostCalls::Span HostCalls::call(int thread, const std::string& name, bool isStop,
                                const std::function<void()>& call) {
    Span span;
    span.issued = Clock::now();
    threads_[static_cast<std::size_t>(thread) % threads_.size()]->run(
        [&] { timedOnThisThread(name, isStop, call); });
    span.returned = Clock::now();
    return span;
}

HostCalls::Span HostCalls::startThread(int thread) {
    return call(thread, "startGamesource_Thread", false, [this] { product_.startGameSource(); });
}

HostCalls::Span HostCalls::stopThread(int thread) {
    return call(thread, "stopGamesource_Thread", true, [this] { product_.stopGameSource(); });
}

HostCalls::Span HostCalls::race(const Event& event) {
    std::atomic<bool> go{false};
    std::vector<std::thread> racers;
    for (std::size_t t = 0; t < event.calls.size(); ++t) {
        racers.emplace_back([this, &event, &go, t] {
            while (!go.load()) {
            }
            for (std::size_t c = 0; c < event.calls[t].size(); ++c) {
                spin(std::chrono::microseconds(event.pauses[t][c]));
                if (event.calls[t][c]) {
                    timedOnThisThread("startGamesource_Thread (racing)", false,
                                      [this] { product_.startGameSource(); });
                } else {
                    timedOnThisThread("stopGamesource_Thread (racing)", true,
                                      [this] { product_.stopGameSource(); });
                }
            }
        });
    }
    go.store(true);
    for (std::thread& racer : racers)
        racer.join();
    return event.finalStart ? startThread(event.hostThread) : stopThread(event.hostThread);
}

bool HostCalls::raceBridge(BridgeLender& bridge, int offsetNs) {
    // Shared: the lent thread looks at them after this call may have returned.
    struct Race {
        std::atomic<bool> go{false};
        std::atomic<bool> stopped{false};
        std::atomic<Clock::rep> startCalled{0};
    };
    auto race = std::make_shared<Race>();
    bridge.start([race, offsetNs] {
        while (!race->go.load()) {
        }
        if (offsetNs < 0) {  // after the stop has returned
            while (!race->stopped.load()) {
            }
            spin(std::chrono::nanoseconds(-offsetNs));
        }
        race->startCalled.store(Clock::now().time_since_epoch().count());
    });
    Clock::rep stopCalled = 0;
    std::thread stopper([&] {
        auto guard = watch_.watch("stopKestrovane_Thread racing a start");
        while (!race->go.load()) {
        }
        spin(std::chrono::nanoseconds(std::max(0, offsetNs)));
        stopCalled = Clock::now().time_since_epoch().count();
        product_.stopBridge();
        race->stopped.store(true);
    });
    race->go.store(true);
    stopper.join();
    while (race->startCalled.load() == 0) {
    }
    return stopCalled > race->startCalled.load();
}

void HostCalls::holdStorm(double lengthS, std::uint64_t seed) {
    storms_.emplace_back([this, lengthS, seed] {
        SeededRandom random(seed);
        const auto until = Clock::now() + std::chrono::duration<double>(lengthS);
        while (Clock::now() < until) {
            product_.activeAxis(1, random.between(0, 7), true);
            // The window a hold can fall into, between the tick's cues and its fade, is a fraction of
            // a microsecond: holds come close together, some at once.
            spin(std::chrono::microseconds(random.chance(0.3) ? 0 : random.between(1, 300)));
        }
    });
}

}  // namespace tarvelmond::rig_safety
