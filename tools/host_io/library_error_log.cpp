#include "library_error_log.h"

#include <filesystem>
#include <fstream>
#include <string_view>
#include <system_error>
#include <vector>

#include "platform/documents_folder.h"

namespace tarvelmond::hostio {
namespace {

constexpr std::string_view kErrorTag = "[ERROR] [";

std::uint64_t sizeOf(const std::string& path) {
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    return error ? 0 : static_cast<std::uint64_t>(size);
}

}  // namespace

LibraryErrorLog::LibraryErrorLog()
    : LibraryErrorLog(
          (std::filesystem::path(platform::documentsFolder()) / "tarvelmond" / "errorlog.txt").string()) {}

LibraryErrorLog::LibraryErrorLog(std::string path) : path_(std::move(path)), offset_(sizeOf(path_)) {}

void LibraryErrorLog::poll() {
    const std::uint64_t size = sizeOf(path_);
    if (size < offset_) offset_ = 0;  // the file was emptied or replaced: read the new one from its start
    if (size == offset_) return;
    std::ifstream file(path_, std::ios::binary);
    if (!file) return;
    file.seekg(static_cast<std::streamoff>(offset_));
    std::vector<char> chunk(static_cast<std::size_t>(std::min<std::uint64_t>(size - offset_, kMostPerPoll)));
    file.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
    const auto got = static_cast<std::size_t>(file.gcount());
    const std::string_view text(chunk.data(), got);
    std::size_t start = 0;
    for (std::size_t end = text.find('\n'); end != std::string_view::npos; end = text.find('\n', start)) {
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.substr(0, kErrorTag.size()) != kErrorTag) continue;
        ++errors_;
        const std::size_t message = line.find("] ", kErrorTag.size());
        newest_ = std::string(message == std::string_view::npos ? line : line.substr(message + 2));
    }
    // A line still being written, or longer than one poll reads, is taken up whole next time; a line
    // longer than a whole poll's read is passed over rather than read for ever.
    offset_ += start == 0 && got == kMostPerPoll ? got : start;
}

}  // namespace tarvelmond::hostio
