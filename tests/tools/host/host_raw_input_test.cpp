// The raw game input: the relay on a UDP game's way to the library, a session recorded through it and
// replayed into the library again, and the library's logged errors on the host's status line. The
// game is the game emulator's X-Plane (its packets are X-Plane's published format), the controller the
// virtual one on a pseudo-terminal.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>

#include "host_program.h"
#include "library_error_log.h"
#include "log/error_log.h"
#include "peers/games/block_publisher.h"
#include "platform/sockets.h"
#include "raw_input.h"
#include "support/eventually.h"
#include "udp_relay.h"

namespace tarvelmond::test {
namespace {

constexpr int kRelayedXplanePort = kXplanePort + 10000;  // what a rig owner sets in X-Plane to record

// Datagrams of every size a game may send, at random moments, through the relay: each reaches the
// library's port whole and in order, and the recorder sees the same bytes with their arrival times.
TEST(HostRelay, PassesEveryDatagramOnWholeAndShowsTheSameBytesToTheRecorder) {
    platform::SocketLibrary sockets;
    sockets.start();
    platform::Socket library = platform::Socket::udp();  // where the library would listen
    ASSERT_TRUE(library.bind({platform::kLoopback, 0}));
    std::mutex seenMutex;
    std::vector<std::vector<std::uint8_t>> seen;
    std::vector<hostio::UdpRelay::Clock::time_point> arrivals;
    hostio::UdpRelay relay({{0, library.localPort()}},
                           [&](std::uint16_t port, std::span<const std::uint8_t> bytes,
                               hostio::UdpRelay::Clock::time_point arrival) {
                               EXPECT_EQ(port, library.localPort());
                               const std::lock_guard lock(seenMutex);
                               seen.emplace_back(bytes.begin(), bytes.end());
                               arrivals.push_back(arrival);
                           });

    const unsigned seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    std::vector<std::vector<std::uint8_t>> sent = {{}, {0x2a}, std::vector<std::uint8_t>(65507, 0x5c)};
    for (int i = 0; i < 300; ++i) {
        std::vector<std::uint8_t> datagram(random() % 1500);
        for (auto& byte : datagram)
            byte = static_cast<std::uint8_t>(random());
        sent.push_back(std::move(datagram));
    }
    platform::Socket game = platform::Socket::udp();
    std::vector<std::vector<std::uint8_t>> received;
    std::vector<std::uint8_t> buffer(65536);
    for (const auto& datagram : sent) {
        ASSERT_EQ(game.sendTo(datagram, {platform::kLoopback, relay.listenPort(0)}),
                  static_cast<int>(datagram.size()));
        // The library's side reads at its own pace: sometimes the next datagram is already on its way.
        if (random() % 3 == 0) continue;
        while (library.waitReadable(random() % 2 == 0 ? 0 : 1000) == 1) {
            platform::Ipv4Endpoint from;
            const int got = library.receiveFrom(buffer, from);
            ASSERT_GE(got, 0);
            received.emplace_back(buffer.begin(), buffer.begin() + got);
        }
    }
    ASSERT_TRUE(eventually([&] {
        platform::Ipv4Endpoint from;
        while (library.waitReadable(0) == 1) {
            const int got = library.receiveFrom(buffer, from);
            received.emplace_back(buffer.begin(), buffer.begin() + got);
        }
        return received.size() >= sent.size();
    }));
    EXPECT_EQ(received, sent);
    ASSERT_TRUE(eventually([&] {
        const std::lock_guard lock(seenMutex);
        return seen.size() == sent.size();
    }));
    const std::lock_guard lock(seenMutex);
    EXPECT_EQ(seen, sent);
    EXPECT_TRUE(std::is_sorted(arrivals.begin(), arrivals.end()));
    EXPECT_EQ(relay.relayed(), sent.size());
    EXPECT_EQ(relay.failed(), 0u);

    // A relay port another program holds is refused by number, so the rig owner knows which.
    try {
        hostio::UdpRelay taken({{relay.listenPort(0), library.localPort()}}, {});
        ADD_FAILURE() << "a port in use was taken";
    } catch (const std::runtime_error& error) {
        EXPECT_NE(std::string(error.what()).find(std::to_string(relay.listenPort(0))), std::string::npos)
            << error.what();
    }
}

#if defined(_WIN32)
const std::string kRecordSeconds = "20";  // Wine ticks about half as often: as many settled ticks
// Its tick rate also falls to half the usual 500 a second or less on a busy machine, where a game that
// sends 250 datagrams a second has each run skip many that the other showed: the game sends half as
// often here, so that a replayed tick shows an attitude the recording never showed only where a tick
// came very late.
constexpr auto kGameSendPeriod = 8ms;
constexpr std::size_t kMostUnrecordedPart = 3;
constexpr double kMiddleTolerance = 0.1;  // the middle of the settled cues, over runs at other rates
#else
const std::string kRecordSeconds = "11";
constexpr auto kGameSendPeriod = 4ms;
constexpr std::size_t kMostUnrecordedPart = 10;
constexpr double kMiddleTolerance = 0.02;
#endif

// The rig's profile without its smoothing: filters that count ticks give other cues for the same
// datagrams wherever the library's tick rate differs between two runs (under Wine by up to half and
// more), so the relayed session is compared with filters that hold no state, which make each tick's
// cues a function of the datagram it shows alone.
const std::string kStatelessProfile = R"toml([air.filters]
roll = "CROP(GAIN(VALUE;0.3);-10;10)"
pitch = "CROP(GAIN(VALUE;0.3);-10;10)"
roll_position = "CROP(GAIN(VALUE;0.4);-8;8)"
pitch_position = "CROP(GAIN(VALUE;0.5);-8;8)"
)toml" + kProfileLimits;

// When the host collected a tick (to within one poll, 50 ms), in seconds since its start.
double timeOfTick(const host::Session& session, std::size_t tick) {
    const auto poll =
        std::find_if(session.stages.begin(), session.stages.end(),
                     [&](const host::StagesRecord& stages) { return stages.ticksBefore > tick; });
    return poll == session.stages.end() ? session.stages.back().seconds : poll->seconds;
}

std::size_t slotNamed(const host::Session& session, const std::string& name) {
    const auto found = std::find(session.telemetryNames.begin(), session.telemetryNames.end(), name);
    return static_cast<std::size_t>(found - session.telemetryNames.begin());
}

// The ticks between the end of the start-up fade and the start of the fade to rest, before any gap.
std::pair<std::size_t, std::size_t> settledTicks(const host::Session& session) {
    const std::size_t first = std::max<std::size_t>(2000, startFadeEnd(session)) + 1;
    const std::size_t beforeRest = fadeToRestStart(session);
    std::size_t last = beforeRest > 50 ? beforeRest - 50 : 0;
    if (!session.gaps.empty()) last = std::min(last, session.gaps.front().ticksBefore);
    return {first, std::max(first, last)};
}

TEST(HostReplay, ARelayedSessionReplayedThroughTheLibraryGivesTheRecordedCues) {
    const fs::path profile = writeProfile("tarvelmond_host_stateless.toml", kStatelessProfile);
    const fs::path recording = testFolder() / "tarvelmond_host_relayed.tmr";
    {
        VirtualController controller(uniqueComNumber(6));
        ASSERT_TRUE(controller.ready());
        declarePortIdentity(controller.comNumber());
        emulator::UdpGameSender game(kRelayedXplanePort);
        game.startGenerated(flightPacket, kGameSendPeriod);
        const HostResult recorded =
            runHost("record --relay --out " + quoted(recording.string()) + " --profile " +
                    quoted(profile.string()) + " --seconds " + kRecordSeconds);
        game.stop();
        ASSERT_EQ(recorded.status, 0) << recorded.output;
        EXPECT_NE(recorded.output.find("send to 127.0.0.1:14321"), std::string::npos) << recorded.output;
        EXPECT_NE(recorded.output.find("Xplane"), std::string::npos)
            << "the game reached the library through the relay";
    }
    const host::Session session = host::readSessionFile(recording.string());

    // What the game sent, byte for byte and in order from the moment the relay listened, for the
    // library's X-Plane port.
    ASSERT_GT(session.datagrams.size(), 500u);
    std::uint64_t first = 0;
    while (first < 100000 && flightPacket(first) != session.datagrams.front().bytes)
        ++first;
    ASSERT_LT(first, 100000u) << "the first recorded datagram is one the game sent";
    for (std::size_t i = 0; i < session.datagrams.size(); ++i) {
        ASSERT_EQ(session.datagrams[i].port, kXplanePort);
        ASSERT_EQ(session.datagrams[i].bytes, flightPacket(first + i)) << "datagram " << i;
        if (i > 0) {
            ASSERT_GE(session.datagrams[i].seconds, session.datagrams[i - 1].seconds);
        }
    }

    // Replayed into the library with a controller on the line: the whole chain runs again.
    const fs::path again = testFolder() / "tarvelmond_host_replayed.tmr";
    VirtualController controller(uniqueComNumber(6));
    ASSERT_TRUE(controller.ready());
    declarePortIdentity(controller.comNumber());
    const HostResult replayed = runHost("replay " + quoted(recording.string()) + " --profile " +
                                        quoted(profile.string()) + " --record " + quoted(again.string()));
    ASSERT_EQ(replayed.status, 0) << replayed.output;
    EXPECT_NE(
        replayed.output.find("replayed " + std::to_string(session.datagrams.size()) + " recorded inputs"),
        std::string::npos)
        << replayed.output;
    EXPECT_GT(outputFrames(controller).size(), 1000u) << "the replay drove the rig";
    const host::Session replay = host::readSessionFile(again.string());

    // The same datagrams give the same telemetry and the same cues: every settled replayed tick shows
    // an attitude the recording showed and, from the end of both start-up fades to the start of both
    // fades to rest, the cues of the recorded tick that first showed it.
    const std::size_t roll = slotNamed(session, "roll_position");
    const std::size_t pitch = slotNamed(session, "pitch_position");
    ASSERT_LT(std::max(roll, pitch), session.telemetryNames.size());
    std::map<std::pair<double, double>, std::size_t> firstShown;
    for (std::size_t i = 0; i < session.ticks.size(); ++i)
        firstShown.try_emplace({session.ticks[i].telemetry[roll], session.ticks[i].telemetry[pitch]}, i);
    const auto [recordedFirst, recordedLast] = settledTicks(session);
    const auto [replayFirst, replayLast] = settledTicks(replay);
    SCOPED_TRACE(std::to_string(session.gaps.size() + replay.gaps.size()) +
                 " gaps: where the host lost ticks only those before the first gap compare");
    if ((!session.gaps.empty() || !replay.gaps.empty()) &&
        (replayLast <= replayFirst + 300 || recordedLast <= recordedFirst + 300)) {
        GTEST_SKIP() << "the host lost ticks before the start-up fade had ended (the sanitizer builds run "
                        "several times slower): nothing settled to compare";
    }
    ASSERT_GT(replayLast, replayFirst + 300) << replay.ticks.size() << " replayed ticks";
    std::size_t compared = 0;
    std::size_t unknown = 0;
    double largest = 0.0;
    std::size_t firstMatch = 0, lastMatch = 0, firstReplayed = 0, lastReplayed = 0;
    for (std::size_t i = replayFirst; i < replayLast; ++i) {
        const auto found =
            firstShown.find({replay.ticks[i].telemetry[roll], replay.ticks[i].telemetry[pitch]});
        if (found == firstShown.end()) {
            ++unknown;
            continue;
        }
        const std::size_t r = found->second;
        if (r < recordedFirst || r >= recordedLast) continue;
        if (compared == 0) {
            firstMatch = r;
            firstReplayed = i;
        }
        lastMatch = r;
        lastReplayed = i;
        ++compared;
        for (std::size_t axis = 0; axis < 6; ++axis)
            largest = std::max(largest, std::fabs(replay.ticks[i].cues[axis] - session.ticks[r].cues[axis]));
    }
    // The library takes the newest datagram on each tick, so where a tick came late one run may show a
    // datagram that the other skipped; anything else would be input the game never sent.
    ASSERT_GT(compared, 300u);
    EXPECT_LT(unknown, compared / kMostUnrecordedPart)
        << "replayed ticks showing an attitude the recording never showed";
    EXPECT_LT(largest, 1e-9) << "over " << compared << " ticks (the axes move up to " << kRigLimit << ")";
    // At the recorded pace: as much time passes between the same two datagrams in both runs (the
    // library's tick rate itself differs from run to run under Wine).
    const double pace = (timeOfTick(replay, lastReplayed) - timeOfTick(replay, firstReplayed)) /
                        (timeOfTick(session, lastMatch) - timeOfTick(session, firstMatch));
    EXPECT_GT(pace, 0.9);
    EXPECT_LT(pace, 1.1);
    std::printf("compared %zu ticks (%zu not recorded): largest difference %.2e, pace %.3f\n", compared,
                unknown, largest, pace);

    // A recording cut short is refused with the byte where it ends, before anything moves; one without
    // raw input says how to get some.
    const std::string bytes = fileText(recording);
    const fs::path cut = testFolder() / "tarvelmond_host_relayed_cut.tmr";
    std::ofstream(cut, std::ios::binary) << bytes.substr(0, bytes.size() / 3 + 7);
    const std::size_t framesBefore = outputFrames(controller).size();
    const HostResult refused =
        runHost("replay " + quoted(cut.string()) + " --profile " + quoted(profile.string()));
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.output.find("tarvelmond_host_relayed_cut.tmr: byte "), std::string::npos)
        << refused.output;
    EXPECT_EQ(outputFrames(controller).size(), framesBefore);
    host::SessionWriter withoutRaw({"roll_position"}, 23);
    const std::vector<std::uint8_t> header = withoutRaw.take();
    const fs::path noRaw = testFolder() / "tarvelmond_host_no_raw.tmr";
    std::ofstream(noRaw, std::ios::binary)
        .write(reinterpret_cast<const char*>(header.data()), static_cast<std::streamsize>(header.size()));
    const HostResult nothing =
        runHost("replay " + quoted(noRaw.string()) + " --profile " + quoted(profile.string()));
    EXPECT_EQ(nothing.status, 1);
    EXPECT_NE(nothing.output.find("record with --relay"), std::string::npos) << nothing.output;
}

// The middle value of each of the six axes over the settled ticks.
std::vector<double> settledAxes(const host::Session& session) {
    const auto [first, last] = settledTicks(session);
    std::vector<double> middle;
    for (std::size_t axis = 0; axis < 6; ++axis) {
        std::vector<double> values;
        for (std::size_t i = first; i < last; ++i)
            values.push_back(session.ticks[i].cues[axis]);
        if (values.empty()) return {};
        std::nth_element(values.begin(), values.begin() + static_cast<long>(values.size() / 2), values.end());
        middle.push_back(values[values.size() / 2]);
    }
    return middle;
}

// Shared-memory games recorded without a controller: a block is copied at each new frame and stored as
// what changed; replayed, the host publishes the block under its name (with a stand-in for the game's
// process, and the named event iRacing also has), and the library drives the same cues.
struct BlockGameCase {
    emulator::BlockGame game;
    int id;  // as getGameID gives it
    std::string block;
    std::size_t size;
};

class HostBlockReplay : public ::testing::TestWithParam<BlockGameCase> {};

TEST_P(HostBlockReplay, PublishesTheRecordedBlockAndGivesTheRecordedCues) {
    const BlockGameCase& game = GetParam();
    const std::string name = std::to_string(static_cast<int>(game.game));
    const fs::path profile = writeProfile("tarvelmond_host_rig.toml", kProfile);
    const fs::path recording = testFolder() / ("tarvelmond_host_block_" + name + ".tmr");
    {
        emulator::GameBlockPublisher publisher(game.game, emulator::motionScene(0.17, 3.0));
        ASSERT_TRUE(publisher.started());
        const HostResult recorded = runHost("record --out " + quoted(recording.string()) + " --profile " +
                                            quoted(profile.string()) + " --seconds " + kRecordSeconds);
        ASSERT_EQ(recorded.status, 0) << recorded.output;
    }
    const host::Session session = host::readSessionFile(recording.string());
    ASSERT_GT(session.blocks.size(), 100u);
    ASSERT_TRUE(session.blocks.front().whole()) << "the first frame is the whole block";
    std::vector<std::uint8_t> image;
    std::size_t stored = 0;
    for (std::size_t i = 0; i < session.blocks.size(); ++i) {
        ASSERT_EQ(session.blocks[i].name, game.block);
        std::vector<std::uint8_t> before = image;
        hostio::applyBlockFrame(session.blocks[i], image);
        ASSERT_EQ(image.size(), game.size);
        ASSERT_NE(image, before) << "only new frames are copied";
        for (const hostio::ByteRun& run : session.blocks[i].runs)
            stored += run.bytes.size();
    }
    // A frame stores what the game wrote: iRacing rewrites one of its value buffers and its header's
    // counters, a few kilobytes of 1.1 MiB, not the whole block.
    std::printf("%zu frames of a %zu-byte block: %zu bytes stored\n", session.blocks.size(), game.size,
                stored);
    if (game.size > 65536) {
        EXPECT_LT(stored - game.size, (session.blocks.size() - 1) * (game.size / 100))
            << "bytes stored for " << session.blocks.size() << " frames";
    }
    const std::vector<double> recordedAxes = settledAxes(session);
    if (recordedAxes.empty() && !session.gaps.empty()) {
        GTEST_SKIP() << "the host lost ticks at tick " << session.gaps.front().ticksBefore
                     << ", before the start-up fade had ended: nothing settled to compare";
    }
    ASSERT_EQ(recordedAxes.size(), 6u) << session.ticks.size() << " ticks recorded";
    EXPECT_GT(*std::max_element(recordedAxes.begin(), recordedAxes.end()), 1.0) << "the rig was tilted";

    const fs::path again = testFolder() / ("tarvelmond_host_block_" + name + "_again.tmr");
    const HostResult replayed = runHost("replay " + quoted(recording.string()) + " --profile " +
                                        quoted(profile.string()) + " --record " + quoted(again.string()));
    ASSERT_EQ(replayed.status, 0) << replayed.output;
    const host::Session replay = host::readSessionFile(again.string());
    EXPECT_TRUE(std::any_of(replay.games.begin(), replay.games.end(), [&](const host::GameRecord& found) {
        return found.id == game.id;
    })) << replayed.output;
    const std::vector<double> replayedAxes = settledAxes(replay);
    if (replayedAxes.empty() && !replay.gaps.empty()) {
        GTEST_SKIP() << "the replaying host lost ticks at tick " << replay.gaps.front().ticksBefore
                     << ", before the start-up fade had ended: nothing settled to compare";
    }
    ASSERT_EQ(replayedAxes.size(), 6u) << replay.ticks.size() << " ticks replayed";
    for (std::size_t axis = 0; axis < 6; ++axis)
        EXPECT_NEAR(replayedAxes[axis], recordedAxes[axis], kMiddleTolerance) << "axis " << axis;
}

// The truck games (the library also looks for their process) and iRacing (process, event, and the
// largest block: 1.1 MiB at 60 frames a second).
INSTANTIATE_TEST_SUITE_P(
    Games, HostBlockReplay,
    ::testing::Values(BlockGameCase{emulator::BlockGame::Truck, 17, "SCSTelemetryExample", 177},
                      BlockGameCase{emulator::BlockGame::IRacing, 10, "Local\\IRSDKMemMapFileName",
                                    emulator::kIRacingBytes}),
    [](const ::testing::TestParamInfo<BlockGameCase>& info) {
        return info.param.game == emulator::BlockGame::Truck ? std::string("Truck") : std::string("IRacing");
    });

// Errors the library writes to its log (any instance on the machine, as a second host would) show on
// the status line as they come: their count and the newest one's text; what was logged before the
// host started, and the informational lines, do not count.
// The log as other programs append to it: in pieces cut anywhere (a line half written when the host
// looks), and in a burst longer than one look reads. Only whole lines count, each once, and the newest
// is the last whole error line; one look reads no further than its bound.
TEST(HostLibraryErrorLog, CountsWholeLinesOnceWhereverTheWritesAreCut) {
    const unsigned seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    const fs::path path =
        fs::temp_directory_path() / ("tarvelmond_error_log_" + std::to_string(seed) + ".txt");
    { std::ofstream(path) << "[ERROR] [10:00:00] before the host looked\n"; }
    hostio::LibraryErrorLog log(path.string());

    std::string text;
    int errors = 0;
    std::string newest;
    for (int i = 0; i < 400; ++i) {
        if (random() % 3 == 0) {
            newest = "error " + std::to_string(i);
            text += "[ERROR] [10:00:01] " + newest + (random() % 2 ? "\r\n" : "\n");
            ++errors;
        } else {
            text += "[INFO] [10:00:01] " + std::string(random() % 300, 'x') + "\n";
        }
    }
    text += "[INFO] [10:00:02] " + std::string(3 * hostio::LibraryErrorLog::kMostPerPoll, 'y') + "\n";
    text += "[ERROR] [10:00:03] after the long line\n";
    ++errors;
    newest = "after the long line";

    for (std::size_t at = 0; at < text.size();) {
        const std::size_t piece = std::min<std::size_t>(text.size() - at, 1 + random() % 5000);
        {
            std::ofstream file(path, std::ios::app | std::ios::binary);
            file.write(text.data() + at, static_cast<std::streamsize>(piece));
        }
        at += piece;
        log.poll();
        EXPECT_LE(log.errors(), static_cast<std::uint64_t>(errors));
    }
    for (int i = 0; i < 10; ++i)
        log.poll();  // what one look left for the next
    EXPECT_EQ(log.errors(), static_cast<std::uint64_t>(errors));
    EXPECT_EQ(log.newest(), newest);

    SCOPED_TRACE("a burst of three looks' worth, then an error: one look does not reach it");
    {
        std::ofstream file(path, std::ios::app | std::ios::binary);
        for (std::size_t written = 0; written < 3 * hostio::LibraryErrorLog::kMostPerPoll; written += 100)
            file << "[INFO] [10:00:04] " << std::string(81, 'z') << "\n";
        file << "[ERROR] [10:00:05] after the burst\n";
    }
    log.poll();
    EXPECT_EQ(log.errors(), static_cast<std::uint64_t>(errors));
    for (int i = 0; i < 10; ++i)
        log.poll();
    EXPECT_EQ(log.errors(), static_cast<std::uint64_t>(errors) + 1);
    EXPECT_EQ(log.newest(), "after the burst");
    fs::remove(path);
}

TEST(HostRun, TheStatusLineCountsTheErrorsTheLibraryLogsAndShowsTheNewest) {
    ErrorLog().logError("an error from before the host started");
    const fs::path profile = writeProfile("tarvelmond_host_rig.toml", kProfile);
    const fs::path outputFile = hostOutputFile();
    fs::remove(outputFile);
    std::atomic<bool> done{false};
    std::thread host([&] {
        runHost("run --profile " + quoted(profile.string()) + " --seconds 12");
        done.store(true);
    });
    const auto shows = [&](const std::string& text) {
        return eventually([&] { return done.load() || fileText(outputFile).find(text) != std::string::npos; },
                          15s) &&
               fileText(outputFile).find(text) != std::string::npos;
    };
    const bool quietFirst = shows("no errors");
    ErrorLog log;
    log.logInfo("Port closed.");
    log.logError("Binding socket failed with error: 98");
    const bool first = shows("1 error logged, newest: Binding socket failed with error: 98");
    ErrorLog().logError("No suitable adapter found.");
    const bool second = shows("2 errors logged, newest: No suitable adapter found.");
    host.join();
    const std::string output = fileText(outputFile);
    EXPECT_TRUE(quietFirst) << output;
    EXPECT_TRUE(first) << output;
    EXPECT_TRUE(second) << output;
    EXPECT_EQ(output.find("before the host started"), std::string::npos) << output;
}

}  // namespace
}  // namespace tarvelmond::test
