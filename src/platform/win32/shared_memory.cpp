#include "platform/shared_memory.h"

#include <windows.h>

#include <utility>

#include "platform/win32/wide_text.h"

namespace tarvelmond::platform {
namespace {

DWORD viewAccess(ViewAccess access) {
    return access == ViewAccess::ReadOnly ? FILE_MAP_READ : FILE_MAP_ALL_ACCESS;
}

}  // namespace

SharedMemory::SharedMemory(SharedMemory&& other) noexcept {
    *this = std::move(other);
}

SharedMemory& SharedMemory::operator=(SharedMemory&& other) noexcept {
    if (this != &other) {
        close();
        view_ = std::exchange(other.view_, nullptr);
        size_ = std::exchange(other.size_, 0);
        mapping_ = std::exchange(other.mapping_, nullptr);
    }
    return *this;
}

bool SharedMemory::createOrOpen(const std::string& name, std::size_t size, ViewAccess access) {
    close();
    const auto high = static_cast<DWORD>(static_cast<unsigned long long>(size) >> 32);
    const auto low = static_cast<DWORD>(size & 0xFFFFFFFFu);
    mapping_ =
        CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, high, low, widen(name).c_str());
    if (mapping_ == nullptr) return false;
    view_ = MapViewOfFile(mapping_, viewAccess(access), 0, 0, size);
    if (view_ == nullptr) {
        close();
        return false;
    }
    size_ = size;
    return true;
}

bool SharedMemory::openExisting(const std::string& name, std::size_t size, ViewAccess access) {
    close();
    mapping_ = OpenFileMappingW(viewAccess(access), FALSE, widen(name).c_str());
    if (mapping_ == nullptr) return false;
    view_ = MapViewOfFile(mapping_, viewAccess(access), 0, 0, size);
    if (view_ == nullptr) {
        close();
        return false;
    }
    if (size == 0) {
        // The whole section: its readable extent is the mapped region.
        MEMORY_BASIC_INFORMATION region{};
        if (VirtualQuery(view_, &region, sizeof region) == 0) {
            close();
            return false;
        }
        size = region.RegionSize;
    }
    size_ = size;
    return true;
}

void SharedMemory::releaseName() {
    // The view keeps the section itself alive.
    if (mapping_ != nullptr) CloseHandle(mapping_);
    mapping_ = nullptr;
}

void SharedMemory::close() {
    if (view_ != nullptr) UnmapViewOfFile(view_);
    if (mapping_ != nullptr) CloseHandle(mapping_);
    view_ = nullptr;
    mapping_ = nullptr;
    size_ = 0;
}

bool sharedMemoryExists(const std::string& name) {
    HANDLE mapping = OpenFileMappingW(FILE_MAP_READ, FALSE, widen(name).c_str());
    if (mapping == nullptr) return false;
    CloseHandle(mapping);
    return true;
}

SharedMemoryName::SharedMemoryName(const std::string& name) : native_(widen(name)) {}

SharedMemoryName::Leads SharedMemoryName::leadsTo(const SharedMemory&) const {
    if (native_.empty()) return Leads::Nowhere;
    HANDLE mapping = OpenFileMappingW(FILE_MAP_READ, FALSE, native_.c_str());
    if (mapping == nullptr) return Leads::Nowhere;
    CloseHandle(mapping);
    return Leads::ToThisBlock;
}

bool NamedEvent::openExisting(const std::string& name) {
    close();
    handle_ = OpenEventW(SYNCHRONIZE, FALSE, widen(name).c_str());
    return handle_ != nullptr;
}

bool NamedEvent::create(const std::string& name) {
    close();
    handle_ = CreateEventW(nullptr, TRUE, FALSE, widen(name).c_str());
    return handle_ != nullptr;
}

void NamedEvent::close() {
    if (handle_ != nullptr) CloseHandle(handle_);
    handle_ = nullptr;
}

}  // namespace tarvelmond::platform
