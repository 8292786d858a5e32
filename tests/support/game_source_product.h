#pragma once
// The game-source exports of the product as a host resolves them, and a fixture that leaves the thread
// stopped after every test, for the programs that drive the real-time thread by name.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <string>

#include "games/telemetry_record.h"
#include "support/eventually.h"
#include "support/product_library.h"

namespace tarvelmond::test {

struct GameSourceProduct {
    double channel(Channel c) const {
        double* data = nullptr;
        int count = 0;
        gameData(&data, &count);
        return std::atomic_ref<double>(data[static_cast<int>(c)]).load(std::memory_order_relaxed);
    }
    // Whether the channel comes to hold `expected` within eventually()'s time.
    bool reads(Channel c, double expected, double tolerance = 1e-4) const {
        return eventually([&] { return std::fabs(channel(c) - expected) < tolerance; });
    }
    std::string name() const {
        char buffer[32] = {};
        gameName(buffer);
        return buffer;
    }

    void (*start)() = exported<void()>("startGamesource_Thread");
    void (*stop)() = exported<void()>("stopGamesource_Thread");
    void (*ready)(int) = exported<void(int)>("setMotionsystemready");
    int (*gameId)() = exported<int()>("getGameID");
    void (*gameName)(char*) = exported<void(char*)>("getGameName");
    void (*gameData)(double**, int*) = exported<void(double**, int*)>("getGameData");
    double (*gameTimeFrame)() = exported<double()>("getGameTimeFrame");
    double (*transitionStatus)() = exported<double()>("getTransitionStatus");
    int (*activeProfile)() = exported<int()>("getactiveProfil");
    double (*loopTimeFrame)() = exported<double()>("getMotionDataTimeFrame");
};

class GameSourceProductTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(productLibrary().loaded()) << productLibrary().error(); }
    void TearDown() override {
        product.ready(0);
        product.stop();
    }
    GameSourceProduct product;
};

}  // namespace tarvelmond::test
