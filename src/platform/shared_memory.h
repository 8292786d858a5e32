#pragma once
#include <cstddef>
#include <string>

// Named shared-memory blocks: Windows named file mappings backed by the paging file; elsewhere POSIX
// shared memory, where a name such as "Local\acpmf_physics" becomes "/Local.acpmf_physics" (a leading
// slash added, every backslash turned into a dot; with TARVELMOND_SHM_NAMESPACE set to, say, "rig2",
// "/rig2.Local.acpmf_physics"; see posixObjectName). A name lasts as Windows keeps it: until the last
// user that holds it lets go, whoever made the block (elsewhere each holder keeps a shared lock on the
// block, and the one that finds itself alone removes the name).
namespace tarvelmond::platform {

enum class ViewAccess { ReadOnly, ReadWrite };

class SharedMemory {
  public:
    SharedMemory() = default;
    ~SharedMemory() { close(); }
    SharedMemory(SharedMemory&& other) noexcept;
    SharedMemory& operator=(SharedMemory&& other) noexcept;
    SharedMemory(const SharedMemory&) = delete;
    SharedMemory& operator=(const SharedMemory&) = delete;

    // Creates the block with `size` bytes, or opens it if it exists already, and maps a view of
    // `size` bytes. Fails if an existing block is smaller than `size`.
    bool createOrOpen(const std::string& name, std::size_t size, ViewAccess access);

    // Opens an existing block only. `size` 0 maps the whole block; otherwise exactly `size` bytes,
    // failing if the block is smaller.
    bool openExisting(const std::string& name, std::size_t size, ViewAccess access);

    void close();  // unmaps and lets go of the name; the block's name goes with its last holder

    // Keeps the view but lets go of the block's name: from then on the name exists only while its
    // publisher holds it (Windows keeps a named mapping for as long as any handle to it is open).
    void releaseName();

    bool isOpen() const { return view_ != nullptr; }
    const unsigned char* data() const { return static_cast<const unsigned char*>(view_); }
    unsigned char* writableData() { return static_cast<unsigned char*>(view_); }
    std::size_t size() const { return size_; }  // bytes that may be read through data()

  private:
    friend class SharedMemoryName;

    void* view_ = nullptr;
    std::size_t size_ = 0;
#if defined(_WIN32)
    void* mapping_ = nullptr;
#else
    std::string posixName_;
    int nameHolder_ = -1;            // the block's descriptor, with this holder's shared lock on it
    unsigned long long device_ = 0;  // the mapped object's identity: a name is removed only with it
    unsigned long long inode_ = 0;
#endif
};

// Whether a block of that name exists right now (a test open, closed again at once).
bool sharedMemoryExists(const std::string& name);

// A block name turned into the system's form once, so that the repeated test for the block (made on the
// real-time thread) allocates nothing.
class SharedMemoryName {
  public:
    SharedMemoryName() = default;
    explicit SharedMemoryName(const std::string& name);

    // What the name leads to now, seen from a holder of `block` that let go of its name: nothing (its
    // publisher closed it), `block` itself, or a block made since under the same name (a publisher
    // that closed its block and published it again). Windows offers no way to tell two mappings apart
    // without a handle to each, and a handle would keep the name alive: there a name that exists is
    // taken for `block`.
    enum class Leads { Nowhere, ToThisBlock, ToAnotherBlock };
    Leads leadsTo(const SharedMemory& block) const;

  private:
#if defined(_WIN32)
    std::wstring native_;
#else
    std::string native_;
#endif
};

// A named event that another program signals. The library only opens it; create() is the publisher's side.
class NamedEvent {
  public:
    NamedEvent() = default;
    ~NamedEvent() { close(); }
    NamedEvent(const NamedEvent&) = delete;
    NamedEvent& operator=(const NamedEvent&) = delete;

    bool openExisting(const std::string& name);
    // Creates the event (or opens it if it exists): the publishing side, as a game or a test peer.
    bool create(const std::string& name);
    void close();
    bool isOpen() const { return handle_ != nullptr; }

  private:
    void* handle_ = nullptr;
#if !defined(_WIN32)
    std::string createdName_;
#endif
};

// The name under which a block or event lives in the POSIX namespace.
std::string posixObjectName(const std::string& name);

}  // namespace tarvelmond::platform
