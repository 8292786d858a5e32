#include "serial/send_drain.h"

#include <algorithm>
#include <cstdio>

#include "basics/frame_timer.h"
#include "serial/controller_line.h"
#include "serial/crc16.h"
#include "serial/link_state.h"
#include "serial/serial_port.h"

namespace tarvelmond {
namespace {

// A failed line call: the line is closed (the link no longer counts as connected) and the pass goes on.
void reportFailure(const CSerialException& failure, LinkState& state, ControllerLine& line) {
    std::printf(" Serial Exception Error: %u \n", static_cast<unsigned>(failure.m_dwError));
    std::fflush(stdout);
    state.portConnected.store(false);
    line.close();
}

double driverBacklog(ControllerLine& line) {
    try {
        return static_cast<double>(line.status().bytesToWrite);
    } catch (const CSerialException&) {
        return 0.0;  // the write that follows meets the same failure and reports it
    }
}

}  // namespace

SendDrain::Result SendDrain::drain(LinkState& state, ControllerLine& line) {
    MessageQueue& queue = state.serialSendQueue;
    double driverBytes = -1.0;
    while (queue.front(scratch_)) {
        if (scratch_.kind == MessageKind::Motion) {
            const auto now = WireMeter::Clock::now();
            if (driverBytes < 0.0) driverBytes = driverBacklog(line);
            double backlog = meter_.backlogBytes(now);
            if (driverBacklogTrusted(driverBytes, now)) backlog = std::max(backlog, driverBytes);
            if (copyWouldDelayNextFrame(backlog, now)) {
                if (queue.popFrontIf(scratch_.id)) state.supersededMotionFrames.fetch_add(1);
                continue;
            }
            if (backlog > kMotionBacklogLimitBytes) {
                if (!heldSince_) heldSince_ = driverFellAt_ = now;
                if (queue.motionCount() > 1) {
                    if (queue.popFrontIf(scratch_.id)) state.supersededMotionFrames.fetch_add(1);
                    continue;
                }
                return Result::MotionWaiting;
            }
            heldSince_.reset();
        }
        const std::size_t size = scratch_.size;  // at least the two bytes of the terminator
        if (scratch_.kind == MessageKind::Motion) {
            std::copy_n(scratch_.bytes.begin(), size, lastMotion_.begin());
            lastMotionSize_ = size;
        }
        stampCrc(scratch_.bytes.data(), size);
        try {
            line.write(scratch_.bytes.data(), size);
            meter_.wrote(size, WireMeter::Clock::now());
        } catch (const CSerialException& failure) {
            reportFailure(failure, state, line);
            newConnection();
            // A command that did not go whole goes again, whole, to the next connection, and the
            // ones behind it wait with it; a motion frame will be stale by then.
            if (scratch_.kind == MessageKind::Motion) queue.popFrontIf(scratch_.id);
            return Result::PortLost;
        }
        queue.popFrontIf(scratch_.id);
    }
    return Result::Empty;
}

bool SendDrain::copyWouldDelayNextFrame(double backlog, WireMeter::Clock::time_point now) const {
    // On an idle wire the frame goes, late or not: it may be the only one the controller gets.
    if (backlog <= 0.0 || scratch_.size != lastMotionSize_ ||
        !std::equal(scratch_.bytes.begin(), scratch_.bytes.begin() + scratch_.size, lastMotion_.begin())) {
        return false;
    }
    // A copy still waiting when the next frame was due is the newest the controller can get (a newer
    // frame would have taken its place): it waits for the wire like any frame.
    const auto nextFrameDue = scratch_.queuedAt + kPacedPeriod;
    if (now >= nextFrameDue) return false;
    // Written once the wire can take it, the copy leaves the wire when what it carries now and the
    // copy itself have gone.
    const double leftThen =
        backlog + static_cast<double>(scratch_.size) - meter_.bytesCarriedIn(nextFrameDue - now);
    return leftThen > kMotionBacklogLimitBytes;
}

bool SendDrain::driverBacklogTrusted(double driverBytes, WireMeter::Clock::time_point now) {
    if (heldSince_ && driverBytes < lastDriverBytes_) driverFellAt_ = now;
    lastDriverBytes_ = driverBytes;
    return !heldSince_ || now - driverFellAt_ < kDriverBacklogTrust;
}

void SendDrain::sendAutomatic(LinkState& state, ControllerLine& line) {
    MessageQueue& queue = state.autoSendQueue;
    if (!queue.front(scratch_)) return;
    if (scratch_.size > 2) {
        try {
            line.write(scratch_.bytes.data(), scratch_.size);
            meter_.wrote(scratch_.size, WireMeter::Clock::now());
        } catch (const CSerialException& failure) {
            reportFailure(failure, state, line);
        }
    }
    repeatOrRetire(queue, scratch_.id, state.autoRepeatCount);
}

}  // namespace tarvelmond
