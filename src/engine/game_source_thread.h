#pragma once

namespace tarvelmond {

struct MotionEngine;

// Told the length of every paced tick of the loop, on the game-source thread itself; measurement
// tools use it. It must not block.
struct TickObserver {
    void (*paced)(void* context, double periodUs) = nullptr;
    void* context = nullptr;
};

// Starts the real-time thread unless it runs already. Throws std::system_error when no thread can be
// created.
void startGameSourceThread(MotionEngine& engine, const TickObserver* observer = nullptr);
// Clears `running` and joins the thread. Throws std::system_error when called on the thread itself or
// when the join fails.
void stopGameSourceThread(MotionEngine& engine);

// Gives the connected game up: disconnects it, holds and blocks the output and puts the counters and
// the air/ground weights back to their start.
void resetGameSource(MotionEngine& engine);

// The thread body: detect and connect a game, read frames, work the motion tick under the watchdogs,
// pace to 2000 us.
void gameSourceThreadMain(MotionEngine& engine, const TickObserver* observer);

}  // namespace tarvelmond
