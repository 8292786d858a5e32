// A stand-in game process: copied to a game's executable name and started, it lets detection find
// "the game". It ends by itself after ten minutes should its owner never end it.
#include <chrono>
#include <thread>

int main() {
    std::this_thread::sleep_for(std::chrono::minutes(10));
    return 0;
}
