// The home folder: where it is, creating it, and resolving paths against it.
#include "qxbcpp.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::mutex homeMutex;
std::string homeOverride;  // empty: follow the environment

std::string withoutTrailingSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::string userHome() {
    std::string home = environment("HOME");
    if (!home.empty()) return home;
    const passwd* entry = getpwuid(getuid());
    return entry && entry->pw_dir ? entry->pw_dir : "/tmp";
}

// Creates one folder unless it exists as a folder.
bool makeFolder(const std::string& path, std::string* error) {
    if (mkdir(path.c_str(), 0700) == 0) return true;
    const int reason = errno;
    struct stat info;
    if (reason == EEXIST && stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) return true;
    *error = "Cannot create folder '" + path + "': " +
             (reason == EEXIST ? "a file of that name exists" : std::strerror(reason));
    return false;
}

// Creates a folder and its missing parents.
bool makeFolders(const std::string& path, std::string* error) {
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
        if (!makeFolder(path.substr(0, slash), error)) return false;
    }
    return makeFolder(path, error);
}

}  // namespace

void qxbSetHomeFolder(const char* path) {
    std::lock_guard<std::mutex> lock(homeMutex);
    homeOverride = path ? withoutTrailingSlash(path) : "";
}

std::string qxbHomeFolder() {
    {
        std::lock_guard<std::mutex> lock(homeMutex);
        if (!homeOverride.empty()) return homeOverride;
    }
    const std::string rdmHome = environment("RDM_HOME");
    if (!rdmHome.empty()) return withoutTrailingSlash(rdmHome);
    const std::string dataHome = environment("XDG_DATA_HOME");
    if (!dataHome.empty()) return withoutTrailingSlash(dataHome) + "/rdm";
    return withoutTrailingSlash(userHome()) + "/.local/share/rdm";
}

bool qxbEnsureHomeFolder(QxbString* error) {
    const std::string home = qxbHomeFolder();
    std::string reason;
    const bool ok = makeFolders(home, &reason) && makeFolder(home + "/repositories", &reason) &&
                    makeFolder(home + "/logs", &reason);
    if (!ok && error) error->assign(reason.c_str());
    return ok;
}

std::string qxbResolveHomePath(const std::string& path) {
    if (!path.empty() && path[0] == '/') return path;
    const std::string home = qxbHomeFolder();
    return path.empty() ? home : home + "/" + path;
}
