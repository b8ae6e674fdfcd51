// The platform's directory listing: every entry name, "." and ".." included,
// in the order the file system gives them.
#pragma once

#include <string>

namespace kelmo {

class DirListing {
public:
    // Opens the directory; isOpen() tells whether that worked.
    explicit DirListing(const std::string& path);
    ~DirListing();
    DirListing(const DirListing&) = delete;
    DirListing& operator=(const DirListing&) = delete;

    bool isOpen() const { return handle != nullptr; }

    // The next entry name; false once the listing is exhausted.
    bool next(std::string& name);

private:
    void* handle = nullptr;  // DIR* or a find handle
#ifdef _WIN32
    void* findData = nullptr;  // WIN32_FIND_DATAA holding the entry not yet handed out
    bool pending = false;
#endif
};

} // namespace kelmo
