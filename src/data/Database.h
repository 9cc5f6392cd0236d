// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once
// How every process of ours attaches the article database: the program, the
// update server, the database build, the tests and the benchmark use these
// lists, so that none can drift from the others.

#include "components/fb/Fb.h"

#include <exception>
#include <string>
#include <thread>
#include <vector>

namespace data {

// Windows-1251 texts and the engine's built-in user.
const std::vector<std::string>& ConnectionParams();
// The program's two transactions: writable, read committed, never waiting
// for a lock.
const std::vector<std::string>& TransactionParams();
// For a process that only reads (the update server).
const std::vector<std::string>& ReadOnlyTransactionParams();

// Sets the name, parameters and dialect with which the program attaches.
void configure(fb::Database& db, const std::string& path);

// Makes the writes of the update transaction durable with the statement
// "COMMIT" on upd, which ends that transaction; it is started again for the
// next writer.
void commit(fb::Query& upd, fb::Transaction& updTrans);

// Attaches a configured database on a thread of its own, so that the caller
// can make its windows meanwhile. Until join() has returned nothing else may
// touch db, nor the transactions and queries made on it; after that only the
// thread that called join(). The object joins when destroyed (a failure is
// then dropped).
class BackgroundOpen {
public:
    explicit BackgroundOpen(fb::Database& db);
    ~BackgroundOpen();
    BackgroundOpen(const BackgroundOpen&) = delete;
    BackgroundOpen& operator=(const BackgroundOpen&) = delete;

    // Waits for the attach; throws what Open threw, exactly as an attach in
    // the foreground would. Later calls return at once.
    void join();

private:
    std::exception_ptr failure_;
    std::thread thread_;
};

} // namespace data

// Runs a reading query whose text is set: prepared first when it is not (a
// new text drops the prepared statement; the fixed category statement stays
// prepared from its first run), then executed with its first row fetched.
void RunReading(fb::Query& q);
