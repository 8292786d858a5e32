// The virtual motion controller as a program of its own, for the tests of hosts and bindings written
// in other languages: controller_peer <COM number>
//
// It plays a controller on a pseudo-terminal that the library opens as COMn and prints, one line each:
//   ready COM<n> <directory>      once, the directory to name in TARVELMOND_SERIAL_DIR
//   <kind> <end> <hex bytes>      every message received: kind output, command or other; end crc when
//                                 the message ended with its CRC-16/ARC, plain otherwise
// Every line read from standard input is hexadecimal bytes that it sends to the library as they are.
// It ends when its standard input closes.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "peers/virtual_controller.h"

using namespace tarvelmond::test;

namespace {

const char* kindName(ReceivedMessage::Kind kind) {
    switch (kind) {
        case ReceivedMessage::Kind::Output:
            return "output";
        case ReceivedMessage::Kind::Command:
            return "command";
        case ReceivedMessage::Kind::Other:
            break;
    }
    return "other";
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// Pairs of hexadecimal digits, spaces between them allowed; nothing for any other text.
std::optional<std::vector<std::uint8_t>> parseHex(const std::string& line) {
    std::vector<std::uint8_t> bytes;
    int high = -1;
    for (char c : line) {
        if (c == ' ') {
            continue;
        }
        const int digit = hexDigit(c);
        if (digit < 0) {
            return std::nullopt;
        }
        if (high < 0) {
            high = digit;
        } else {
            bytes.push_back(static_cast<std::uint8_t>(high * 16 + digit));
            high = -1;
        }
    }
    if (high >= 0) {
        return std::nullopt;
    }
    return bytes;
}

void printMessage(const ReceivedMessage& message) {
    std::string line = kindName(message.kind);
    line += message.crcForm ? " crc " : " plain ";
    char hex[3];
    for (std::uint8_t byte : message.bytes) {
        std::snprintf(hex, sizeof hex, "%02x", byte);
        line += hex;
    }
    std::puts(line.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <COM number>\n", argv[0]);
        return 2;
    }
    VirtualController controller(std::atoi(argv[1]));
    if (!controller.ready()) {
        std::fprintf(stderr, "no pseudo-terminal for COM%s\n", argv[1]);
        return 1;
    }
    // Set by the pseudo-terminal's set-up above; nothing in this process changes it afterwards.
    const char* directory = std::getenv("TARVELMOND_SERIAL_DIR");  // NOLINT(concurrency-mt-unsafe)
    std::printf("ready %s %s\n", controller.comName().c_str(), directory != nullptr ? directory : "");
    std::fflush(stdout);

    std::atomic<bool> done{false};
    std::thread printer([&] {
        std::size_t printed = 0;
        while (!done.load()) {
            const auto fresh = controller.receivedFrom(printed);
            for (const ReceivedMessage& message : fresh) {
                printMessage(message);
            }
            if (!fresh.empty()) {
                std::fflush(stdout);
            }
            printed += fresh.size();
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
    std::string line;
    while (std::getline(std::cin, line)) {
        if (const auto bytes = parseHex(line); bytes && !bytes->empty()) {
            controller.send(*bytes);
        } else if (!line.empty()) {
            std::fprintf(stderr, "not hexadecimal bytes: %s\n", line.c_str());
        }
    }
    done.store(true);
    printer.join();
    return 0;
}
