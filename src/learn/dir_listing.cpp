// Directory listing without sorting or filtering: learning must see the entries
// exactly as the file system orders them, so neither std::filesystem's iterator
// (which drops "." and "..") nor any sorted view will do.
#include "learn/dir_listing.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dirent.h>
#endif

namespace kelmo {

#ifdef _WIN32

DirListing::DirListing(const std::string& path) {
    // FindFirstFile hands out the first entry at once; keep it until next() asks.
    auto* data = new WIN32_FIND_DATAA;
    HANDLE found = FindFirstFileA((path + "\\*").c_str(), data);
    if (found == INVALID_HANDLE_VALUE) {
        delete data;
        return;
    }
    handle = found;
    findData = data;
    pending = true;
}

DirListing::~DirListing() {
    if (handle)
        FindClose(static_cast<HANDLE>(handle));
    delete static_cast<WIN32_FIND_DATAA*>(findData);
}

bool DirListing::next(std::string& name) {
    if (!handle)
        return false;
    auto* data = static_cast<WIN32_FIND_DATAA*>(findData);
    if (!pending && !FindNextFileA(static_cast<HANDLE>(handle), data))
        return false;
    pending = false;
    name = data->cFileName;
    return true;
}

#else

DirListing::DirListing(const std::string& path) {
    handle = opendir(path.c_str());
}

DirListing::~DirListing() {
    if (handle)
        closedir(static_cast<DIR*>(handle));
}

bool DirListing::next(std::string& name) {
    if (!handle)
        return false;
    const dirent* entry = readdir(static_cast<DIR*>(handle));
    if (!entry)
        return false;
    name = entry->d_name;
    return true;
}

#endif

} // namespace kelmo
