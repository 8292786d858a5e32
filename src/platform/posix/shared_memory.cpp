#include "platform/shared_memory.h"

#include <fcntl.h>
#include <semaphore.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>

namespace tarvelmond::platform {
namespace {

// Maps `size` bytes of an open descriptor (0: the whole object) and notes which object it is.
void* mapDescriptor(int fd, std::size_t& size, ViewAccess access, unsigned long long& device,
                    unsigned long long& inode) {
    struct stat info {};
    if (fstat(fd, &info) != 0 || info.st_size <= 0 || static_cast<std::size_t>(info.st_size) < size)
        return nullptr;
    if (size == 0) size = static_cast<std::size_t>(info.st_size);
    device = static_cast<unsigned long long>(info.st_dev);
    inode = static_cast<unsigned long long>(info.st_ino);
    const int protection = access == ViewAccess::ReadOnly ? PROT_READ : PROT_READ | PROT_WRITE;
    void* view = mmap(nullptr, size, protection, MAP_SHARED, fd, 0);
    return view == MAP_FAILED ? nullptr : view;
}

bool sameObject(int fd, unsigned long long device, unsigned long long inode) {
    struct stat info {};
    return fstat(fd, &info) == 0 && static_cast<unsigned long long>(info.st_dev) == device &&
           static_cast<unsigned long long>(info.st_ino) == inode;
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
        posixName_ = std::move(other.posixName_);
        nameHolder_ = std::exchange(other.nameHolder_, -1);
        device_ = other.device_;
        inode_ = other.inode_;
    }
    return *this;
}

bool SharedMemory::createOrOpen(const std::string& name, std::size_t size, ViewAccess access) {
    close();
    posixName_ = posixObjectName(name);
    int fd = shm_open(posixName_.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
    if (fd >= 0) {
        if (ftruncate(fd, static_cast<off_t>(size)) != 0) {
            shm_unlink(posixName_.c_str());
            ::close(fd);
            return false;
        }
    } else {
        fd = shm_open(posixName_.c_str(), access == ViewAccess::ReadOnly ? O_RDONLY : O_RDWR, 0600);
        if (fd < 0) return false;
    }
    // Held before the view is made: a holder that closes meanwhile sees this one and keeps the name.
    flock(fd, LOCK_SH);
    nameHolder_ = fd;
    std::size_t mapped = size;
    view_ = mapDescriptor(fd, mapped, access, device_, inode_);
    if (view_ == nullptr) {
        close();
        return false;
    }
    size_ = mapped;
    return true;
}

bool SharedMemory::openExisting(const std::string& name, std::size_t size, ViewAccess access) {
    close();
    posixName_ = posixObjectName(name);
    const int fd = shm_open(posixName_.c_str(), access == ViewAccess::ReadOnly ? O_RDONLY : O_RDWR, 0);
    if (fd < 0) return false;
    flock(fd, LOCK_SH);
    nameHolder_ = fd;
    std::size_t mapped = size;
    view_ = mapDescriptor(fd, mapped, access, device_, inode_);
    if (view_ == nullptr) {
        close();
        return false;
    }
    size_ = mapped;
    return true;
}

void SharedMemory::releaseName() {
    if (nameHolder_ < 0) return;
    // Alone with the block (no other holder's shared lock), this holder is its last: the name goes,
    // unless it names a block made since under the same name.
    if (flock(nameHolder_, LOCK_EX | LOCK_NB) == 0) {
        const int named = shm_open(posixName_.c_str(), O_RDONLY, 0);
        if (named >= 0) {
            if (sameObject(named, device_, inode_)) shm_unlink(posixName_.c_str());
            ::close(named);
        }
    }
    ::close(nameHolder_);
    nameHolder_ = -1;
}

void SharedMemory::close() {
    if (view_ != nullptr) munmap(view_, size_);
    releaseName();
    view_ = nullptr;
    size_ = 0;
}

bool sharedMemoryExists(const std::string& name) {
    const int fd = shm_open(posixObjectName(name).c_str(), O_RDONLY, 0);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

SharedMemoryName::SharedMemoryName(const std::string& name) : native_(posixObjectName(name)) {}

SharedMemoryName::Leads SharedMemoryName::leadsTo(const SharedMemory& block) const {
    if (native_.empty()) return Leads::Nowhere;
    const int fd = shm_open(native_.c_str(), O_RDONLY, 0);
    if (fd < 0) return Leads::Nowhere;
    const bool same = sameObject(fd, block.device_, block.inode_);
    ::close(fd);
    return same ? Leads::ToThisBlock : Leads::ToAnotherBlock;
}

bool NamedEvent::openExisting(const std::string& name) {
    close();
    sem_t* semaphore = sem_open(posixObjectName(name).c_str(), 0);
    if (semaphore == SEM_FAILED) return false;
    handle_ = semaphore;
    return true;
}

bool NamedEvent::create(const std::string& name) {
    close();
    const std::string posixName = posixObjectName(name);
    sem_t* semaphore = sem_open(posixName.c_str(), O_CREAT, 0600, 0);
    if (semaphore == SEM_FAILED) return false;
    handle_ = semaphore;
    createdName_ = posixName;
    return true;
}

void NamedEvent::close() {
    if (handle_ != nullptr) sem_close(static_cast<sem_t*>(handle_));
    // Like a Windows event, the name goes away with the publisher.
    if (!createdName_.empty()) sem_unlink(createdName_.c_str());
    createdName_.clear();
    handle_ = nullptr;
}

}  // namespace tarvelmond::platform
