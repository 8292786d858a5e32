// Costs on the link's hot paths: the CRC of an output frame, cutting a controller's stream, one motion
// frame through a send queue (the real-time thread's push and the bridge's take), and the push that
// replaces the waiting frame while no link takes the queue.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "serial/controller_frame.h"
#include "serial/crc16.h"
#include "serial/message_queue.h"

namespace {

using namespace tarvelmond;

void BM_Crc16OfOutputFrame(benchmark::State& state) {
    std::vector<std::uint8_t> frame(34, 0x5A);
    for (auto _ : state)
        benchmark::DoNotOptimize(crc16Arc(frame.data(), frame.size()));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 34);
}
BENCHMARK(BM_Crc16OfOutputFrame);

void BM_CutControllerStream(benchmark::State& state) {
    std::vector<std::uint8_t> stream;
    for (int i = 0; i < 20; ++i) {
        std::vector<std::uint8_t> frame = {0xF8, 0xF8};
        frame.resize(36, static_cast<std::uint8_t>(i));
        const std::uint16_t crc = crc16Arc(frame.data(), frame.size());
        frame.push_back(static_cast<std::uint8_t>(crc & 0xFF));
        frame.push_back(static_cast<std::uint8_t>(crc >> 8));
        stream.insert(stream.end(), frame.begin(), frame.end());
        stream.push_back(0x00);  // a byte of noise between frames
    }
    auto queue = std::make_unique<MessageQueue>(151);
    for (auto _ : state) {
        bool found = false;
        benchmark::DoNotOptimize(cutControllerFrames(stream.data(), stream.size(), *queue, found));
        queue->clear();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * stream.size()));
}
BENCHMARK(BM_CutControllerStream);

void BM_MotionFrameThroughSendQueue(benchmark::State& state) {
    auto queue = std::make_unique<MessageQueue>(150);
    std::vector<std::uint8_t> frame(36, 0xFC);
    Message taken;
    for (auto _ : state) {
        queue->push(frame.data(), frame.size(), MessageKind::Motion);
        queue->front(taken);
        queue->popFrontIf(taken.id);
    }
}
BENCHMARK(BM_MotionFrameThroughSendQueue);

// The real-time thread's push while no link takes the queue: the waiting frame, behind the host's
// messages queued meanwhile (state.range(0) of them), gives way to the new one.
void BM_MotionFrameReplacingTheWaitingOne(benchmark::State& state) {
    auto queue = std::make_unique<MessageQueue>(150);
    const std::vector<std::uint8_t> command = {0xF9, 0xF9, 0x08, 0x00, 0x00, 0x00, 0x0A, 0x0D};
    for (std::int64_t i = 0; i < state.range(0); ++i)
        queue->push(command.data(), command.size());
    std::vector<std::uint8_t> frame(36, 0xFC);
    for (auto _ : state)
        benchmark::DoNotOptimize(queue->pushReplacingMotion(frame.data(), frame.size()));
}
BENCHMARK(BM_MotionFrameReplacingTheWaitingOne)->Arg(0)->Arg(10)->Arg(149);

}  // namespace
