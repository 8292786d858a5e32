#include "session_file.h"

#include <bit>
#include <cstring>
#include <fstream>
#include <iterator>

namespace tarvelmond::host {
namespace {

constexpr std::size_t kMaxNames = 1024;

class Out {
  public:
    explicit Out(std::vector<std::uint8_t>& bytes) : bytes_(bytes) {}
    template <typename Unsigned>
    void number(Unsigned value) {
        for (std::size_t i = 0; i < sizeof(Unsigned); ++i)
            bytes_.push_back(static_cast<std::uint8_t>(static_cast<std::uint64_t>(value) >> (8 * i)));
    }
    void real(double value) { number(std::bit_cast<std::uint64_t>(value)); }
    void reals(const std::vector<double>& values) {
        for (double value : values)
            real(value);
    }
    void text(const std::string& value) { bytes_.insert(bytes_.end(), value.begin(), value.end()); }
    void bytes(const std::vector<std::uint8_t>& value) {
        bytes_.insert(bytes_.end(), value.begin(), value.end());
    }

  private:
    std::vector<std::uint8_t>& bytes_;
};

template <typename Fill>
std::vector<std::uint8_t> payloadOf(Fill fill) {
    std::vector<std::uint8_t> payload;
    Out out(payload);
    fill(out);
    return payload;
}

// Reads from the recording's bytes; every read checks what is left first.
class In {
  public:
    In(std::span<const std::uint8_t> bytes, const std::string& source, std::size_t base = 0)
        : bytes_(bytes), source_(source), base_(base) {}

    [[noreturn]] void fail(const std::string& message) const {
        throw SessionError(source_ + ": byte " + std::to_string(base_ + position_) + ": " + message);
    }
    std::size_t left() const { return bytes_.size() - position_; }
    std::size_t position() const { return position_; }

    std::span<const std::uint8_t> take(std::size_t count, const char* what) {
        if (count > left()) fail(std::string("the recording ends inside ") + what);
        const auto part = bytes_.subspan(position_, count);
        position_ += count;
        return part;
    }
    template <typename Unsigned>
    Unsigned number(const char* what) {
        const auto part = take(sizeof(Unsigned), what);
        std::uint64_t value = 0;
        for (std::size_t i = 0; i < sizeof(Unsigned); ++i)
            value |= static_cast<std::uint64_t>(part[i]) << (8 * i);
        return static_cast<Unsigned>(value);
    }
    double real(const char* what) { return std::bit_cast<double>(number<std::uint64_t>(what)); }
    std::vector<double> reals(std::size_t count, const char* what) {
        if (count > left() / 8) fail(std::string("the recording ends inside ") + what);
        std::vector<double> values(count);
        for (double& value : values)
            value = real(what);
        return values;
    }
    std::string text(std::size_t count, const char* what) {
        const auto part = take(count, what);
        return {part.begin(), part.end()};
    }

  private:
    std::span<const std::uint8_t> bytes_;
    const std::string& source_;
    std::size_t base_;
    std::size_t position_ = 0;
};

void readHeader(In& in, Session& session) {
    const auto magic = in.take(sizeof kSessionMagic, "the header");
    if (std::memcmp(magic.data(), kSessionMagic, sizeof kSessionMagic) != 0)
        in.fail("not a Tarvelmond session recording (no \"TMRSESSN\" at the start)");
    const auto major = in.number<std::uint16_t>("the header");
    session.minorVersion = in.number<std::uint16_t>("the header");
    if (major != kSessionMajor) {
        in.fail("recording format version " + std::to_string(major) + "." +
                std::to_string(session.minorVersion) + " is not supported (this program reads " +
                std::to_string(kSessionMajor) + ".x)");
    }
    const auto slots = in.number<std::uint16_t>("the header");
    session.cueCount = in.number<std::uint16_t>("the header");
    if (slots > kMaxNames || session.cueCount > kMaxNames)
        in.fail("the header's channel counts are implausible");
    for (std::size_t slot = 0; slot < slots; ++slot) {
        const auto length = in.number<std::uint8_t>("a telemetry name");
        session.telemetryNames.push_back(in.text(length, "a telemetry name"));
    }
}

// The seconds and the name that begin both kinds of block record.
BlockRecord blockHead(In& in, const char* what) {
    BlockRecord block;
    block.seconds = in.real(what);
    const auto length = in.number<std::uint8_t>(what);
    block.name = in.text(length, what);
    if (block.name.empty()) in.fail(std::string(what) + " without a name");
    return block;
}

void readRecord(RecordKind kind, In& in, Session& session) {
    const std::size_t slots = session.telemetryNames.size();
    switch (kind) {
        case RecordKind::Tick: {
            TickRecord tick;
            tick.tick = in.number<std::uint64_t>("a tick record");
            tick.telemetry = in.reals(slots, "a tick record");
            tick.cues = in.reals(session.cueCount, "a tick record");
            session.ticks.push_back(std::move(tick));
            break;
        }
        case RecordKind::Stages: {
            StagesRecord stages;
            stages.seconds = in.real("a stages record");
            stages.activeProfile = static_cast<std::int32_t>(in.number<std::uint32_t>("a stages record"));
            stages.fadePercent = in.real("a stages record");
            stages.air = in.reals(session.cueCount, "a stages record");
            stages.ground = in.reals(session.cueCount, "a stages record");
            stages.final = in.reals(session.cueCount, "a stages record");
            stages.ticksBefore = session.ticks.size();
            session.stages.push_back(std::move(stages));
            break;
        }
        case RecordKind::Game: {
            GameRecord game;
            game.seconds = in.real("a game record");
            game.id = static_cast<std::int32_t>(in.number<std::uint32_t>("a game record"));
            if (in.left() > 20) in.fail("a game name longer than 20 bytes");
            game.name = in.text(in.left(), "a game record");
            session.games.push_back(std::move(game));
            break;
        }
        case RecordKind::Datagram: {
            DatagramRecord datagram;
            datagram.seconds = in.real("a datagram record");
            datagram.port = in.number<std::uint16_t>("a datagram record");
            if (datagram.port == 0) in.fail("a datagram record for port 0");
            if (in.left() > kMaxDatagram) in.fail("a datagram longer than UDP carries");
            const auto bytes = in.take(in.left(), "a datagram record");
            datagram.bytes.assign(bytes.begin(), bytes.end());
            session.datagrams.push_back(std::move(datagram));
            break;
        }
        case RecordKind::Block: {
            BlockRecord block = blockHead(in, "a block record");
            const auto bytes = in.take(in.left(), "a block record");
            if (bytes.empty()) in.fail("a block record without bytes");
            block.size = static_cast<std::uint32_t>(bytes.size());
            block.runs.push_back({0, {bytes.begin(), bytes.end()}});
            session.blocks.push_back(std::move(block));
            break;
        }
        case RecordKind::BlockChanges: {
            BlockRecord block = blockHead(in, "a block changes record");
            block.size = in.number<std::uint32_t>("a block changes record");
            if (block.size == 0 || block.size > hostio::kMaxBlockSize)
                in.fail("a block of " + std::to_string(block.size) + " bytes is implausible");
            while (in.left() > 0) {
                const auto offset = in.number<std::uint32_t>("a block changes record");
                const auto length = in.number<std::uint32_t>("a block changes record");
                if (length == 0 || offset > block.size || length > block.size - offset)
                    in.fail("a change outside the block");
                const auto bytes = in.take(length, "a block changes record");
                block.runs.push_back({offset, {bytes.begin(), bytes.end()}});
            }
            if (block.runs.empty()) in.fail("a block changes record without a change");
            session.blocks.push_back(std::move(block));
            break;
        }
        case RecordKind::Gap:
            session.gaps.push_back(
                {in.real("a gap record"), in.number<std::uint32_t>("a gap record"), session.ticks.size()});
            break;
        default:
            return;  // a kind of a later minor version: skipped whole by the caller
    }
    if (in.left() != 0) in.fail("the record is longer than its kind allows");
}

}  // namespace

Session parseSession(std::span<const std::uint8_t> bytes, const std::string& source) {
    In in(bytes, source);
    Session session;
    readHeader(in, session);
    while (in.left() > 0) {
        const std::size_t start = in.position();
        const auto kind = static_cast<RecordKind>(in.number<std::uint8_t>("a record's kind"));
        const auto length = in.number<std::uint32_t>("a record's length");
        if (length > kMaxPayload) in.fail("a record of " + std::to_string(length) + " bytes is implausible");
        const auto payload = in.take(length, "a record (the recording was cut short)");
        In record(payload, source, start + 5);
        readRecord(kind, record, session);
    }
    return session;
}

Session readSessionFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) throw SessionError(path + ": cannot open the recording");
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(file)),
                                          std::istreambuf_iterator<char>());
    if (file.bad()) throw SessionError(path + ": read error");
    return parseSession(bytes, path);
}

SessionWriter::SessionWriter(const std::vector<std::string>& telemetryNames, std::size_t cueCount)
    : slots_(telemetryNames.size()), cues_(cueCount) {
    Out out(bytes_);
    bytes_.insert(bytes_.end(), std::begin(kSessionMagic), std::end(kSessionMagic));
    out.number(kSessionMajor);
    out.number(kSessionMinor);
    out.number(static_cast<std::uint16_t>(slots_));
    out.number(static_cast<std::uint16_t>(cues_));
    for (const std::string& name : telemetryNames) {
        const std::string kept = name.substr(0, 255);
        out.number(static_cast<std::uint8_t>(kept.size()));
        out.text(kept);
    }
}

void SessionWriter::record(RecordKind kind, const std::vector<std::uint8_t>& payload) {
    Out out(bytes_);
    out.number(static_cast<std::uint8_t>(kind));
    out.number(static_cast<std::uint32_t>(payload.size()));
    bytes_.insert(bytes_.end(), payload.begin(), payload.end());
}

void SessionWriter::tick(const TickRecord& record) {
    this->record(RecordKind::Tick, payloadOf([&](Out& out) {
                     out.number(record.tick);
                     out.reals(record.telemetry);
                     out.reals(record.cues);
                 }));
}

void SessionWriter::stages(const StagesRecord& record) {
    this->record(RecordKind::Stages, payloadOf([&](Out& out) {
                     out.real(record.seconds);
                     out.number(static_cast<std::uint32_t>(record.activeProfile));
                     out.real(record.fadePercent);
                     out.reals(record.air);
                     out.reals(record.ground);
                     out.reals(record.final);
                 }));
}

void SessionWriter::game(const GameRecord& record) {
    this->record(RecordKind::Game, payloadOf([&](Out& out) {
                     out.real(record.seconds);
                     out.number(static_cast<std::uint32_t>(record.id));
                     out.text(record.name.substr(0, 20));
                 }));
}

void SessionWriter::gap(const GapRecord& record) {
    this->record(RecordKind::Gap, payloadOf([&](Out& out) {
                     out.real(record.seconds);
                     out.number(record.lostTicks);
                 }));
}

void SessionWriter::datagram(const DatagramRecord& record) {
    this->record(RecordKind::Datagram, payloadOf([&](Out& out) {
                     out.real(record.seconds);
                     out.number(record.port);
                     out.bytes(record.bytes);
                 }));
}

void SessionWriter::block(const BlockRecord& record) {
    const std::string name = record.name.substr(0, 255);
    const bool whole = record.whole();
    this->record(whole ? RecordKind::Block : RecordKind::BlockChanges, payloadOf([&](Out& out) {
                     out.real(record.seconds);
                     out.number(static_cast<std::uint8_t>(name.size()));
                     out.text(name);
                     if (whole) {
                         out.bytes(record.runs.front().bytes);
                         return;
                     }
                     out.number(record.size);
                     for (const hostio::ByteRun& run : record.runs) {
                         out.number(run.offset);
                         out.number(static_cast<std::uint32_t>(run.bytes.size()));
                         out.bytes(run.bytes);
                     }
                 }));
}

std::vector<std::uint8_t> SessionWriter::take() {
    std::vector<std::uint8_t> taken;
    taken.swap(bytes_);
    return taken;
}

}  // namespace tarvelmond::host
