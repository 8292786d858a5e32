#include "live_view.h"

#include <httplib.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <stdexcept>
#include <string_view>

#include "live_view_page.h"

namespace tarvelmond::host {
namespace {

void appendNumber(std::string& out, double value) {
    if (!std::isfinite(value)) {
        out += "null";  // JSON has no NaN; the page draws a gap
        return;
    }
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;
    out.append(text, end);
}

std::string jsonString(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (c == '<') {
            out += "\\u003c";  // the names are also written into the page's script
        } else if (static_cast<unsigned char>(c) >= 0x20) {
            out += c;
        }
    }
    return out + "\"";
}

// "3,7,12": the channel numbers the page asks for; anything else in the list is left out.
std::vector<int> channelList(const std::string& text, int channelCount) {
    std::vector<int> channels;
    std::size_t start = 0;
    while (start < text.size() && channels.size() < static_cast<std::size_t>(channelCount)) {
        const std::size_t end = std::min(text.find(',', start), text.size());
        int channel = -1;
        const auto [at, error] = std::from_chars(text.data() + start, text.data() + end, channel);
        if (error == std::errc{} && at == text.data() + end && channel >= 0 && channel < channelCount) {
            channels.push_back(channel);
        }
        start = end + 1;
    }
    return channels;
}

}  // namespace

LiveView::LiveView(const LiveViewAddress& address, std::vector<std::string> channelNames)
    : channelNames_(std::move(channelNames)), server_(std::make_unique<httplib::Server>()) {
    server_->Get("/", [this](const httplib::Request& request, httplib::Response& response) {
        const auto channels =
            channelList(request.get_param_value("channels"), static_cast<int>(channelNames_.size()));
        std::string picked = "[";
        for (const int channel : channels) {
            picked += (picked.size() > 1 ? "," : "") + std::to_string(channel);
        }
        std::string page = kLiveViewPage;
        const std::string initial = "{\"channels\":" + channelsJson() + ",\"picked\":" + picked +
                                    "],\"data\":" + samplesSince(-1, channels) + "}";
        page.replace(page.find("/*INITIAL*/"), std::string_view("/*INITIAL*/").size(), initial);
        response.set_header("Cache-Control", "no-store");
        response.set_content(page, "text/html; charset=utf-8");
    });
    server_->Get("/channels", [this](const httplib::Request&, httplib::Response& response) {
        response.set_content(channelsJson(), "application/json");
    });
    server_->Get("/samples", [this](const httplib::Request& request, httplib::Response& response) {
        long long since = -1;
        const std::string sinceText = request.get_param_value("since");
        std::from_chars(sinceText.data(), sinceText.data() + sinceText.size(), since);
        const auto channels =
            channelList(request.get_param_value("channels"), static_cast<int>(channelNames_.size()));
        response.set_header("Cache-Control", "no-store");
        response.set_content(samplesSince(since, channels), "application/json");
    });
    // Port 0: any free port, which the host then prints.
    port_ = address.port == 0 ? server_->bind_to_any_port(address.host)
                              : (server_->bind_to_port(address.host, address.port) ? address.port : -1);
    if (port_ <= 0) {
        throw std::runtime_error("the live view cannot listen on " + address.host + ":" +
                                 std::to_string(address.port) + " (in use, or not this machine's address)");
    }
    thread_ = std::thread([this] { server_->listen_after_bind(); });
}

LiveView::~LiveView() {
    server_->stop();
    thread_.join();
}

void LiveView::add(double seconds, const HistoryBatch& batch, double airPercent, double groundPercent,
                   double fadePercent) {
    const int count = std::min(batch.cueCount, batch.telemetryCount);
    const std::lock_guard lock(mutex_);
    for (int tick = 0; tick < count; ++tick) {
        if (ticksSeen_++ % kEveryNthTick != 0) {
            continue;
        }
        LiveSample sample;
        sample.sequence = samples_.empty() ? 0 : samples_.back().sequence + 1;
        // The batch's ticks end at `seconds`, 2 ms apart.
        sample.seconds = seconds - 0.002 * (count - 1 - tick);
        const double* cues = batch.cues.data() + static_cast<std::ptrdiff_t>(tick) * HistoryBatch::kCues;
        std::copy_n(cues, sample.axes.size(), sample.axes.begin());
        const double* telemetry =
            batch.telemetry.data() + static_cast<std::ptrdiff_t>(tick) * HistoryBatch::kTelemetrySlots;
        std::copy_n(telemetry, sample.telemetry.size(), sample.telemetry.begin());
        sample.airPercent = airPercent;
        sample.groundPercent = groundPercent;
        sample.fadePercent = fadePercent;
        samples_.push_back(sample);
        if (samples_.size() > kKept) {
            samples_.pop_front();
        }
    }
}

// {"samples":[[sequence, seconds, 6 axes, air, ground, fade, picked channels...], ...]}
std::string LiveView::samplesSince(long long since, const std::vector<int>& channels) const {
    std::string out = "{\"samples\":[";
    const std::lock_guard lock(mutex_);
    bool first = true;
    for (const LiveSample& sample : samples_) {
        if (sample.sequence <= since) {
            continue;
        }
        out += first ? "[" : ",[";
        first = false;
        out += std::to_string(sample.sequence);
        for (const double value :
             {sample.seconds, sample.axes[0], sample.axes[1], sample.axes[2], sample.axes[3], sample.axes[4],
              sample.axes[5], sample.airPercent, sample.groundPercent, sample.fadePercent}) {
            out += ',';
            appendNumber(out, value);
        }
        for (const int channel : channels) {
            out += ',';
            appendNumber(out, sample.telemetry[static_cast<std::size_t>(channel)]);
        }
        out += ']';
    }
    return out + "]}";
}

std::string LiveView::channelsJson() const {
    std::string out = "[";
    for (std::size_t i = 0; i < channelNames_.size(); ++i) {
        out += (i == 0 ? "" : ",") + jsonString(channelNames_[i]);
    }
    return out + "]";
}

}  // namespace tarvelmond::host
