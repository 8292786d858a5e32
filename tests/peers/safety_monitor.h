#pragma once
#include <array>
#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// The rig owner's view of the library: checks every message the virtual controller receives against
// the rules a rig must be able to rely on.
//
//   whole      every frame that starts like an output frame carries its CRC; no stray bytes, except
//              one cut message where what waited in the port for a controller that stopped reading
//              ends: the library gave the write up half-way (the bytes already in the port cannot be
//              called back) and the controller's CRC check throws it away
//   finite     every axis value is a number
//   limits     every axis value lies inside the rig limits the host set
//   no jump    after any discontinuity (a game found or lost, ready, a host hold, a chain swap, a
//              restart) the output moves from where it was to the live pose over the 4 s output fade,
//              a linear blend of held and live values. Between two frames the blend can move at most
//              span x (worked time between them) / 4000 ms, plus what the live pose moves by itself
//              (ratePerMs x that time). The worked time between two frames is at most the time between
//              their arrivals plus how much later the first was sent than built (the latency); when
//              the link stayed up, frames stop only while the library does not tick, so the worked
//              time across a gap is bounded by three latencies however long the gap was: a fade that
//              skips ahead after a pause shows as a jump. Frames on either side of a link that went
//              and came back (a controller unplugged or not reading, a bridge restarted) are of any
//              age, and the pair across such a break is not checked.
//   no stall   while the game runs and the rig is ready, frames arrive at most maxGapMs apart, not
//              counting the wire time of the commands that arrived in between (a frame waits behind
//              them) and the time in which the machine kept the host's process from running
//              (machineStood): no library ticks then
//   no frame after stop
//              after ready 0, a stop of the game-source thread or of the bridge has returned, no
//              frame arrives, except those already on their way (flushMs), right after the link
//              connects again the one that waited for it, and a backlog that a controller resumed
//              reading before the stop (for at most a full port's reading, portDrainMs)
//   no lost command
//              host messages arrive whole (with their CRC), in the order sent, none twice and none
//              missing, unless lost with a controller that was unplugged under them (or with what
//              stood in its port when a stop emptied it: excuseLosses); after every
//              connection the two start-up commands arrive before the rig has moved on for long
namespace tarvelmond::test {

using MonitorClock = std::chrono::steady_clock;

struct AxisEnvelope {
    float rigMin = 0.0f;  // as the library was told (it clamps in single precision)
    float rigMax = 0.0f;
    double span = 0.0;       // widest distance between a held and a live cue value of this axis
    double ratePerMs = 0.0;  // fastest the live cue moves by itself, per ms of worked ticks
};

struct SafetyTiming {
    double maxGapMs = 20.0;
    double latencyMs = 50.0;
    double flushMs = 50.0;
    // How long the controller takes to read a full port: after it resumes reading, what waited there
    // arrives in one burst, and while the library keeps sending the burst stands (it drains only as
    // much faster as the controller reads than the library sends). After a stop it lasts this long at
    // most.
    double portDrainMs = 0.0;
    double fadeMs = 4000.0;
    // A byte's time on the controller's wire (250000 baud, 8N1).
    double wireMsPerByte = 0.04;
    // Output frames after an identification answer by which the start-up commands must have come.
    int startupCommandFrames = 300;
    // While the fade's skipping after a pause is a known fault, the frames of the first three latencies
    // after a pause are not held to the fade (everything else is).
    bool excuseFadeAfterPause = false;
};

struct Violation {
    double atMs = 0.0;  // since the monitor's origin
    std::string rule;
    std::string detail;
};

// Host messages the monitor follows: F9 F9 <firstCommand + stream> 00 <sequence, little-endian>.
struct HostStreams {
    std::uint8_t firstCommand = 0x40;
    std::uint8_t count = 0;
};

class SafetyMonitor {
  public:
    using Axes = std::array<AxisEnvelope, 6>;

    SafetyMonitor(const Axes& axes, const SafetyTiming& timing, HostStreams streams,
                  MonitorClock::time_point origin);

    // The controller's side, from its reader thread: every message as it arrives.
    void onOutputFrame(const std::vector<std::uint8_t>& bytes, MonitorClock::time_point arrival);
    void onCommand(const std::vector<std::uint8_t>& bytes, bool crcForm, MonitorClock::time_point arrival);
    void onStrayBytes(std::size_t count, MonitorClock::time_point arrival);
    void onCrcFailure(MonitorClock::time_point arrival);

    // The host's side, from the scenario.
    // Frames may stop and the library may go on computing meanwhile: an unplugged controller, a
    // stopped bridge.
    void linkDown(MonitorClock::time_point at);
    void linkUp(MonitorClock::time_point at);
    // From `met` (everything was in place: game, ready, thread, bridge, controller) to `until`, frames
    // must start within `startWithinMs` and then keep coming. `stoppedBefore`: when a stop that
    // ended the motion before `met` returned (its last frames may still arrive first).
    void expectFrames(MonitorClock::time_point met, MonitorClock::time_point until, double startWithinMs,
                      std::optional<MonitorClock::time_point> stoppedBefore = std::nullopt);
    // From `stopped` (the stop call returned) to `until` (a start call was made), no frame.
    void expectQuiet(MonitorClock::time_point stopped, MonitorClock::time_point until);
    void hostMessageSent(std::uint8_t stream, std::uint16_t sequence, bool accepted,
                         MonitorClock::time_point at);
    // Host messages accepted in this span may be lost with the link.
    void excuseLosses(MonitorClock::time_point from, MonitorClock::time_point to);
    // The controller reads again after not reading since before a stop: what the library wrote before
    // the stop waited in the port and arrives now, in one burst from `resumed` on; that burst is not
    // held to a quiet span.
    void backlogFrom(MonitorClock::time_point resumed);
    // The game itself makes the live pose leap in this span (values it reports far beyond the input
    // limits, which the library clamps to them): frames built then are not held to the fade (those
    // arriving in it or a latency after, and those of a burst after a pause that began then).
    void excuseLiveLeaps(MonitorClock::time_point from, MonitorClock::time_point to);
    // Times in reports count from here on (the scenario's events start).
    void countTimesFrom(MonitorClock::time_point origin);
    // A check made by the host itself (a stop that did not return, a tick rate); `loadSensitive` where a
    // busy machine can bring it about on its own (see loadSensitiveCount).
    void report(MonitorClock::time_point at, std::string rule, std::string detail,
                bool loadSensitive = false);

    // For `stoodMs` of the span from `from` to `to` the machine kept the host's process from running
    // (a witness thread woke that late, threads waited for a core, the virtual machine's cores were
    // taken away): the library's ticks could not come then either.
    void machineStood(MonitorClock::time_point from, MonitorClock::time_point to, double stoodMs);

    // Closes the books: gaps between frames are judged (net of the machine's stalls), host messages
    // not arrived are lost unless excused.
    void finish();

    // The kept violations (a few per rule) and the count of all.
    std::vector<Violation> violations() const;
    std::size_t violationCount() const;
    // Of those, the ones a busy machine can bring about on its own (another program's real-time
    // threads, a throttled scheduler), worth a second look before blaming the library: gaps between
    // frames, and steps right after a gap (the frame before the step may have waited out the gap in
    // the link, and be older than a latency).
    std::size_t loadSensitiveCount() const;
    // Gaps between frames longer than maxGapMs that the machine's stalls explain (not violations).
    std::size_t machineGapCount() const;
    double portDrainMs() const { return timing_.portDrainMs; }
    // The longest time without a frame while frames were due, in ms (a figure for choosing bounds).
    double longestGapMs() const;
    std::uint64_t framesChecked() const;
    std::uint64_t hostMessagesArrived() const;

  private:
    struct Frame {
        MonitorClock::time_point arrival;
        std::array<float, 6> axes;
    };
    struct SentMessage {
        bool accepted = false;
        MonitorClock::time_point at;
        bool arrived = false;
    };

    // All with mutex_ held.
    void add(MonitorClock::time_point at, std::string rule, std::string detail);
    void checkFrameValues(const Frame& frame);
    void checkStep(const Frame& previous, const Frame& frame);
    bool linkBrokeBetween(MonitorClock::time_point from, MonitorClock::time_point to) const;
    bool excused(MonitorClock::time_point at) const;
    std::size_t commandBytesBetween(MonitorClock::time_point from, MonitorClock::time_point to) const;
    double machineStoodStillMs(MonitorClock::time_point from, MonitorClock::time_point to) const;
    void judgeLongGaps();
    bool builtDuringALeap(MonitorClock::time_point arrival) const;
    // The one cut message a backlog arriving now may end with (marks it seen).
    bool endsABacklog(MonitorClock::time_point arrival);
    // The last arrival of the backlog burst still arriving at `at` (one that began within a flush of a
    // resumption, each arrival at most `apart` after the one before), if one is.
    std::optional<MonitorClock::time_point> backlogBurstEnd(MonitorClock::time_point at,
                                                            MonitorClock::duration apart) const;
    MonitorClock::duration flush() const;
    double ms(MonitorClock::time_point at) const;
    void countStartupCommand(const std::vector<std::uint8_t>& bytes);

    Axes axes_;
    SafetyTiming timing_;
    HostStreams streams_;
    MonitorClock::time_point origin_;

    mutable std::mutex mutex_;
    std::vector<Violation> violations_;
    std::map<std::string, int> perRule_;  // to keep a flood of one rule readable
    std::size_t loadSensitive_ = 0;
    std::vector<std::pair<MonitorClock::time_point, MonitorClock::time_point>> longGaps_;  // to judge
    struct MachineStall {
        MonitorClock::time_point from;
        MonitorClock::time_point to;
        double stoodMs = 0.0;
    };
    std::vector<MachineStall> machineStalls_;
    std::size_t machineGaps_ = 0;
    std::vector<std::pair<MonitorClock::time_point, std::size_t>> commandArrivals_;  // with their sizes
    double longestGapMs_ = 0.0;
    std::optional<Frame> last_;
    std::vector<MonitorClock::time_point> arrivals_;
    std::vector<std::pair<MonitorClock::time_point, MonitorClock::time_point>> linkBreaks_;
    std::optional<MonitorClock::time_point> linkDownSince_;
    std::vector<std::pair<MonitorClock::time_point, MonitorClock::time_point>> excuses_;
    std::vector<std::pair<MonitorClock::time_point, MonitorClock::time_point>> leaps_;
    std::vector<MonitorClock::time_point> backlogs_;  // controller resumptions
    // The one cut message excused per resumption, by its arrival: its CRC failure and its bytes come
    // in one read.
    std::vector<std::optional<MonitorClock::time_point>> backlogCutAt_;
    std::map<std::pair<std::uint8_t, std::uint16_t>, SentMessage> sent_;
    std::map<std::uint8_t, int> lastArrived_;  // per stream
    std::uint64_t hostArrived_ = 0;
    // The identification exchange: a connection, after which the start-up commands are due.
    std::optional<MonitorClock::time_point> lastIdentification_;
    int framesSinceIdentification_ = 0;
    std::optional<MonitorClock::time_point> resumedAt_;  // the first frame after the last pause
    double lastGapMs_ = 0.0;                             // before the newest frame
    double previousGapMs_ = 0.0;                         // before the one ahead of it
    // The last pause in the frames longer than a latency: the frames of the burst after it may have
    // been built as early as its start.
    std::optional<std::pair<MonitorClock::time_point, MonitorClock::time_point>> lastPause_;
    int startupSeen_ = 0;  // 0 none, 1 the first (04), 2 both
};

}  // namespace tarvelmond::test
