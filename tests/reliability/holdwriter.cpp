// A second program on the same database file, through the plain SQLite library:
//   qb_holdwriter <file> hold <ms> <key>   takes the write lock, adds a serial number <key>,
//                                          prints "holding", keeps the lock <ms> milliseconds,
//                                          commits and prints "committed";
//   qb_holdwriter <file> loop <n> <prefix> adds n serial numbers, one transaction each.
// Both wait for the lock like the program does and exit 1 with the engine's message on error.
#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

namespace {

// As long as Quillbox itself waits for a lock.
constexpr int kBusyTimeoutMs = 5000;

void check(sqlite3* db, int rc, const char* what) {
    if (rc == SQLITE_OK || rc == SQLITE_DONE)
        return;
    std::fprintf(stderr, "%s: %s\n", what, sqlite3_errmsg(db));
    std::exit(1);
}

void exec(sqlite3* db, const char* sql) {
    check(db, sqlite3_exec(db, sql, nullptr, nullptr, nullptr), sql);
}

void insertSerial(sqlite3* db, const std::string& key) {
    sqlite3_stmt* stmt = nullptr;
    check(
        db,
        sqlite3_prepare_v2(db, "INSERT INTO xuliehao1(名称版本号) VALUES (?1)", -1, &stmt, nullptr),
        "prepare");
    sqlite3_bind_text(stmt, 1, key.c_str(), -1, SQLITE_TRANSIENT);
    check(db, sqlite3_step(stmt), "insert");
    sqlite3_finalize(stmt);
}

void say(const char* line) {
    std::printf("%s\n", line);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc != 5 || (std::strcmp(argv[2], "hold") != 0 && std::strcmp(argv[2], "loop") != 0)) {
        std::fprintf(stderr, "usage: qb_holdwriter <file> hold <ms> <key> | loop <n> <prefix>\n");
        return 2;
    }
    sqlite3* db = nullptr;
    check(db, sqlite3_open_v2(argv[1], &db, SQLITE_OPEN_READWRITE, nullptr), "open");
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    const int number = std::atoi(argv[3]);
    if (std::strcmp(argv[2], "hold") == 0) {
        exec(db, "BEGIN IMMEDIATE");
        insertSerial(db, argv[4]);
        say("holding");
        std::this_thread::sleep_for(std::chrono::milliseconds(number));
        exec(db, "COMMIT");
        say("committed");
    } else {
        for (int i = 0; i < number; ++i) {
            exec(db, "BEGIN IMMEDIATE");
            insertSerial(db, argv[4] + std::to_string(i));
            exec(db, "COMMIT");
        }
        say("done");
    }
    sqlite3_close(db);
    return 0;
}
