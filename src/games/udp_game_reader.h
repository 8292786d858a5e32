#pragma once
#include <optional>

#include "games/game_reader.h"
#include "net/udp_port.h"

namespace tarvelmond {

// The games that send their telemetry as UDP datagrams to a fixed port. Detection probes the port
// (after one of the game's processes, where it names any, is found running) and leaves no socket open;
// the reader holds the port only while connected.
class UdpGameReader : public GameReader {
  public:
    UdpGameReader(const GameIdentity& identity, const GameServices& services);

    bool detect() override;
    int connect() override;
    int read(const ReaderContext& context) override;
    void disconnect() override;
    bool holdsChannel() const override;

  protected:
    // Takes the waiting datagrams from the open port.
    virtual int readDatagrams(UdpPort& port, const ReaderContext& context) = 0;

  private:
    std::span<std::uint8_t> probeBuffer_;
    // Built when the game first connects (building one opens the log file).
    std::optional<UdpPort> port_;
};

// A UDP game read by one function of the port.
template <int (*Read)(UdpPort&, const ReaderContext&)>
class UdpReaderOf final : public UdpGameReader {
  public:
    using UdpGameReader::UdpGameReader;

  private:
    int readDatagrams(UdpPort& port, const ReaderContext& context) override { return Read(port, context); }
};

// A UDP game read by one function of the port and what the game's reader keeps between reads.
template <typename State, int (*Read)(UdpPort&, const ReaderContext&, State&)>
class UdpReaderWithState final : public UdpGameReader {
  public:
    using UdpGameReader::UdpGameReader;

  private:
    int readDatagrams(UdpPort& port, const ReaderContext& context) override {
        return Read(port, context, state_);
    }

    State state_{};
};

}  // namespace tarvelmond
