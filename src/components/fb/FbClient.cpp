// SPDX-License-Identifier: GPL-3.0-or-later

#include "FbClient.h"

#include "Fb.h"
#include "components/text/Cp1251.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <mutex>

namespace fb {

bool Error::hasCode(ISC_STATUS code) const {
    for (ISC_STATUS c : codes_)
        if (c == code)
            return true;
    return false;
}

namespace client {
namespace {

std::string& libraryNameRef() {
    static std::string name = "libfbclient.so.2";
    return name;
}

// Written once, under loadMutex; read without it by loaded() and api(),
// which an attach on a thread of its own may call beside the GUI thread.
std::atomic<Api*> loadedApi{nullptr};
std::mutex loadMutex;

} // namespace

// The embedded engine keeps its lock files in /tmp/firebird by default,
// created 0770 by whoever comes first, which shuts every other user out.
// Every process of one user must share one directory, or two of them could
// open the same database file at once.
void chooseLockDirectory() {
    if (std::getenv("FIREBIRD_LOCK"))
        return;
    std::string dir = "/tmp/tipsara-firebird-" + std::to_string(getuid());
    if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST)
        return;
    struct stat st {};
    if (lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != getuid())
        throw Error("The lock directory " + dir + " is not a directory of the current user");
    setenv("FIREBIRD_LOCK", dir.c_str(), 1);
}

void setLibraryName(const std::string& name) {
    libraryNameRef() = name;
}
const std::string& libraryName() {
    return libraryNameRef();
}
bool loaded() {
    return loadedApi != nullptr;
}

const Api& api() {
    if (const Api* ready = loadedApi.load(std::memory_order_acquire))
        return *ready;
    const std::lock_guard<std::mutex> lock(loadMutex);
    if (const Api* ready = loadedApi.load(std::memory_order_relaxed))
        return *ready;
    chooseLockDirectory();
    void* lib = dlopen(libraryName().c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!lib) {
        const char* why = dlerror();
        throw Error("Cannot load the database client library " + libraryName() + ": " +
                    (why ? text::fromLocale(why) : std::string("unknown reason")));
    }
    auto api = std::make_unique<Api>();
#define FB_RESOLVE(name)                                                                           \
    api->name = reinterpret_cast<decltype(&::name)>(dlsym(lib, #name));                            \
    if (!api->name) {                                                                              \
        dlclose(lib);                                                                              \
        throw Error("The database client library " + libraryName() + " lacks " #name);             \
    }
    FB_CLIENT_FUNCTIONS(FB_RESOLVE)
#undef FB_RESOLVE
    // The library stays loaded to the end of the process: the engine's own
    // exit handlers live in it.
    loadedApi.store(api.release(), std::memory_order_release);
    return *loadedApi.load(std::memory_order_relaxed);
}

void check(const ISC_STATUS* status, Texts texts) {
    if (!(status[0] == 1 && status[1] != 0))
        return;
    std::vector<ISC_STATUS> codes;
    // Walk the vector for its error codes (isc_arg_gds entries).
    for (const ISC_STATUS* p = status; *p != isc_arg_end;) {
        ISC_STATUS kind = *p++;
        if (kind == isc_arg_cstring) {
            p += 2;
            continue;
        }
        if (kind == isc_arg_gds)
            codes.push_back(*p);
        ++p;
    }
    std::string message;
    char buf[1024];
    const ISC_STATUS* cursor = status;
    for (;;) {
        // Each call reads one item: an engine message with its arguments,
        // or a system error code the client library describes.
        const ISC_STATUS kind = *cursor;
        if (api().fb_interpret(buf, sizeof buf, &cursor) <= 0)
            break;
        if (!message.empty())
            message += '\n';
        if (kind == isc_arg_unix || kind == isc_arg_dos || kind == isc_arg_win32)
            message += text::fromLocale(buf);
        else if (texts == Texts::FileSystem)
            message += text::utf8ToCp1251(buf);
        else
            message += buf;
    }
    if (message.empty())
        message = "Unknown database error";
    throw Error(message, std::move(codes));
}

} // namespace client
} // namespace fb
