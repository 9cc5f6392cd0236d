// SPDX-License-Identifier: GPL-3.0-or-later

#include "UpdateServer.h"

#include "components/text/Numbers.h"
#include "data/DbBuild.h"

#include <httplib.h>
#include <zip.h>

#include <chrono>
#include <cstdio>
#include <stdexcept>
#include <string_view>
#include <thread>
#include <utility>

namespace server {
namespace {

const char* const kText = "text/plain; charset=windows-1251";

void notFound(httplib::Response& res) {
    res.status = 404;
    res.body.clear();
}

std::optional<int32_t> param(const httplib::Request& req, const char* name) {
    if (!req.has_param(name))
        return std::nullopt;
    return parseId(req.get_param_value(name));
}

// Route patterns are regular expressions; paths are matched literally.
std::string literal(const std::string& path) {
    std::string out;
    for (char c : path) {
        if (std::string_view(".[]{}()\\*+?^$|").find(c) != std::string_view::npos)
            out += '\\';
        out += c;
    }
    return out;
}

} // namespace

std::optional<int32_t> parseId(const std::string& text) {
    return text::PlainInteger(text, false);
}

std::optional<std::set<int32_t>> parseIdList(const std::string& text) {
    std::set<int32_t> ids;
    if (text.empty())
        return ids;
    size_t start = 0;
    while (true) {
        const size_t comma = text.find(',', start);
        const auto id = parseId(
            text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (!id)
            return std::nullopt;
        ids.insert(*id);
        if (comma == std::string::npos)
            return ids;
        start = comma + 1;
    }
}

std::string newHintsReply(const std::vector<MasterDatabase::Article>& articles,
                          const std::set<int32_t>& known) {
    std::string reply;
    for (const auto& a : articles) {
        if (known.count(a.id))
            continue;
        std::string title = a.name;
        for (char& c : title)
            if (c == '\r' || c == '\n' || c == '\0')
                c = ' ';
        reply += std::to_string(a.id) + "\r\n" + title + "\r\n" + std::to_string(a.cat) + "\r\n" +
                 std::to_string(a.subcat) + "\r\n";
    }
    return reply;
}

std::string zipPackage(const std::string& memberName, const std::string& body) {
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* archive = zip_source_buffer_create(nullptr, 0, 0, &error);
    if (!archive)
        throw std::runtime_error("zip: cannot make a buffer");
    zip_t* za = zip_open_from_source(archive, ZIP_TRUNCATE, &error);
    if (!za) {
        zip_source_free(archive);
        throw std::runtime_error(std::string("zip: ") + zip_error_strerror(&error));
    }
    zip_source_keep(archive); // still needed after zip_close, to read the result
    zip_source_t* member = zip_source_buffer(za, body.data(), body.size(), 0);
    if (!member || zip_file_add(za, memberName.c_str(), member, ZIP_FL_ENC_GUESS) < 0) {
        if (member)
            zip_source_free(member);
        zip_discard(za);
        zip_source_free(archive);
        throw std::runtime_error("zip: cannot add the member");
    }
    if (zip_close(za) < 0) {
        zip_discard(za);
        zip_source_free(archive);
        throw std::runtime_error("zip: cannot write the archive");
    }
    std::string out;
    if (zip_source_open(archive) == 0) {
        char buffer[8192];
        for (zip_int64_t n; (n = zip_source_read(archive, buffer, sizeof buffer)) > 0;)
            out.append(buffer, static_cast<size_t>(n));
        zip_source_close(archive);
    }
    zip_source_free(archive);
    if (out.empty())
        throw std::runtime_error("zip: the archive is empty");
    return out;
}

UpdateServer::UpdateServer(MasterDatabase& master, Options options)
    : master_(master), options_(std::move(options)), http_(std::make_unique<httplib::Server>()) {
    // An update run asks one request after another on one connection. An
    // idle one is dropped soon, since stopping waits for it.
    http_->set_keep_alive_max_count(1000);
    http_->set_keep_alive_timeout(2);
    // Replies go out in two writes (head, body); without this the second waits
    // for the delayed acknowledgement of the first, some 40 ms a request.
    http_->set_tcp_nodelay(true);
    http_->set_logger([](const httplib::Request& req, const httplib::Response& res) {
        // Long id lists are cut short: the log is for reading.
        const std::string target =
            req.target.size() > 160 ? req.target.substr(0, 160) + "..." : req.target;
        std::fprintf(stderr, "%s %s -> %d, %zu bytes\n", req.method.c_str(), target.c_str(),
                     res.status, res.body.size());
    });
    if (options_.delayMs > 0)
        http_->set_pre_routing_handler(
            [ms = options_.delayMs](const httplib::Request&, httplib::Response&) {
                std::this_thread::sleep_for(std::chrono::milliseconds(ms));
                return httplib::Server::HandlerResponse::Unhandled;
            });
    http_->set_exception_handler(
        [](const httplib::Request&, httplib::Response& res, std::exception_ptr e) {
            try {
                std::rethrow_exception(std::move(e));
            } catch (const std::exception& ex) {
                std::fprintf(stderr, "error: %s\n", ex.what());
            } catch (...) {
            }
            res.status = 500;
            res.body.clear();
        });
    routes();
}

UpdateServer::~UpdateServer() = default;

void UpdateServer::routes() {
    const std::string dir = literal(options_.base + "/get/tipsara/");
    httplib::Server& s = *http_;

    s.Get(dir + R"(tipsara_update\.txt)", [this](const httplib::Request&, httplib::Response& res) {
        if (options_.statusFile.empty())
            return res.set_content("\r\n\r\n\r\n", kText);
        try {
            res.set_content(dbbuild::readFile(options_.statusFile), kText);
        } catch (const std::exception&) {
            notFound(res);
        }
    });
    s.Get(dir + R"(get_max_cat\.php)", [this](const httplib::Request&, httplib::Response& res) {
        res.set_content(std::to_string(master_.maxCategory()), kText);
    });
    s.Get(dir + R"(get_cat\.php)", [this](const httplib::Request& req, httplib::Response& res) {
        const auto cat = param(req, "id");
        const auto name = cat ? master_.categoryName(*cat) : std::nullopt;
        if (!name)
            return notFound(res);
        res.set_content(*name, kText);
    });
    s.Get(dir + R"(get_max_sub_cat\.php)",
          [this](const httplib::Request& req, httplib::Response& res) {
              const auto cat = param(req, "id");
              if (!cat)
                  return notFound(res);
              res.set_content(std::to_string(master_.maxSubCategory(*cat)), kText);
          });
    s.Get(dir + R"(get_sub_cat\.php)", [this](const httplib::Request& req, httplib::Response& res) {
        const auto cat = param(req, "id");
        const auto sub = param(req, "sid");
        const auto name = cat && sub ? master_.subCategoryName(*cat, *sub) : std::nullopt;
        if (!name)
            return notFound(res);
        res.set_content(*name, kText);
    });
    s.Get(dir + R"(get_new_hints\.php)",
          [this](const httplib::Request& req, httplib::Response& res) {
              const auto known =
                  req.has_param("ids") ? parseIdList(req.get_param_value("ids")) : std::nullopt;
              if (!known)
                  return notFound(res);
              res.set_content(newHintsReply(master_.articles(), *known), kText);
          });
    s.Get(dir + R"(files/([^/]*)\.zip)",
          [this](const httplib::Request& req, httplib::Response& res) {
              // The member is named as the client asked, since that is the name it
              // looks for after unpacking.
              const std::string idText = req.matches[1];
              const auto id = parseId(idText);
              const auto body = id ? master_.articleBody(*id) : std::nullopt;
              if (!body)
                  return notFound(res);
              res.set_content(zipPackage(idText + ".html", *body), "application/zip");
          });
}

int UpdateServer::bind() {
    if (options_.port == 0)
        return http_->bind_to_any_port(options_.host);
    return http_->bind_to_port(options_.host, options_.port) ? options_.port : -1;
}

bool UpdateServer::serve() {
    return http_->listen_after_bind();
}

void UpdateServer::stop() {
    http_->stop();
}

} // namespace server
