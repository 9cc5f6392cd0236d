// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// ZIP archives made by the tests, over libzip: ordinary ones with given
// member names and contents, and one that unpacks to far more than it holds.

#include <zip.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace testing_support {

using Members = std::vector<std::pair<std::string, std::string>>;

namespace detail {

// A member of size bytes of zeros, produced as libzip reads it.
struct Zeros {
    zip_uint64_t size;
    zip_uint64_t done = 0;
};

inline zip_int64_t zeros(void* state, void* data, zip_uint64_t len, zip_source_cmd_t cmd) {
    auto* z = static_cast<Zeros*>(state);
    switch (cmd) {
    case ZIP_SOURCE_OPEN:
        z->done = 0;
        return 0;
    case ZIP_SOURCE_READ: {
        const zip_uint64_t n = std::min(len, z->size - z->done);
        std::memset(data, 0, n);
        z->done += n;
        return static_cast<zip_int64_t>(n);
    }
    case ZIP_SOURCE_CLOSE:
        return 0;
    case ZIP_SOURCE_STAT: {
        auto* st = static_cast<zip_stat_t*>(data);
        zip_stat_init(st);
        st->size = z->size;
        st->valid |= ZIP_STAT_SIZE;
        return sizeof(zip_stat_t);
    }
    case ZIP_SOURCE_ERROR:
        return 2 * sizeof(int);
    case ZIP_SOURCE_FREE:
        return 0;
    case ZIP_SOURCE_SUPPORTS:
        return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE,
                                              ZIP_SOURCE_STAT, ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE,
                                              -1);
    default:
        return -1;
    }
}

inline zip_t* create(const std::string& path) {
    int error = 0;
    zip_t* za = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!za)
        throw std::runtime_error("cannot create " + path);
    return za;
}

inline void close(zip_t* za) {
    if (zip_close(za) != 0) {
        zip_discard(za);
        throw std::runtime_error("cannot write the archive");
    }
}

} // namespace detail

// stored: members kept as they are, not compressed.
inline void makeZip(const std::string& path, const Members& members, bool stored = false) {
    zip_t* za = detail::create(path);
    for (const auto& [name, content] : members) {
        zip_source_t* src = zip_source_buffer(za, content.data(), content.size(), 0);
        const zip_int64_t index = src ? zip_file_add(za, name.c_str(), src, ZIP_FL_ENC_RAW) : -1;
        if (index < 0 || (stored && zip_set_file_compression(za, static_cast<zip_uint64_t>(index),
                                                             ZIP_CM_STORE, 0) != 0)) {
            zip_discard(za);
            throw std::runtime_error("cannot add " + name);
        }
    }
    detail::close(za);
}

// One member of size bytes of zeros: a few hundred kilobytes on disk.
inline void makeZerosZip(const std::string& path, const std::string& name, zip_uint64_t size) {
    zip_t* za = detail::create(path);
    detail::Zeros state{size};
    zip_source_t* src = zip_source_function(za, detail::zeros, &state);
    const zip_int64_t index = src ? zip_file_add(za, name.c_str(), src, ZIP_FL_ENC_RAW) : -1;
    if (index < 0 ||
        zip_set_file_compression(za, static_cast<zip_uint64_t>(index), ZIP_CM_DEFLATE, 1) != 0) {
        zip_discard(za);
        throw std::runtime_error("cannot add " + name);
    }
    detail::close(za);
}

} // namespace testing_support
