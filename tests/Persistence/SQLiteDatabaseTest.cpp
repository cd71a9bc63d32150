#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <limits>
#include <stdexcept>
#include <thread>

#include "Persistence/SQLiteDatabase.hpp"
#include "Persistence/support/PersistenceTestSupport.hpp"

using ostrel::SQLiteDatabase;
using ostrel::SQLiteError;
using ostrel::SQLiteRow;
using ostrel::SQLiteValue;
using namespace ostrel::testing;

namespace {

SQLiteError captureError(const std::function<void()>& work) {
    try {
        work();
    } catch (const SQLiteError& error) {
        return error;
    }
    throw std::logic_error("expected an SQLiteError");
}

void expectError(const SQLiteError& error, SQLiteError::Kind kind, const std::string& description) {
    EXPECT_EQ(error.kind(), kind);
    EXPECT_EQ(error.what(), description);
}

TEST(SQLiteDatabaseOpenTest, UnopenablePathsFailWithSQLitesOpenMessage) {
    TemporaryFolder folder;
    for (const std::string& path : {folder.file("missing/ostrel.sqlite"), folder.path()}) {
        expectError(captureError([&] { SQLiteDatabase database(path); }), SQLiteError::Kind::openFailed,
                    "SQLite open failed: unable to open database file");
    }
}

// SQLite would quietly open a write-protected file for reading only. Root writes through file
// permissions, so the open runs as an unprivileged user in a child process.
TEST(SQLiteDatabaseOpenTest, WriteProtectedFileFailsToOpen) {
    TemporaryFolder folder;
    const std::string path = folder.file("readonly.sqlite");
    { SQLiteDatabase database(path); }
    ASSERT_EQ(chmod(folder.path().c_str(), 0755), 0);
    ASSERT_EQ(chmod(path.c_str(), 0444), 0);
    for (auto dir = std::filesystem::path(folder.path()).parent_path(); dir != dir.root_path();
         dir = dir.parent_path()) {
        struct stat info {};
        if (geteuid() == 0 && (stat(dir.c_str(), &info) != 0 || (info.st_mode & S_IXOTH) == 0)) {
            GTEST_SKIP() << dir << " is closed to the unprivileged user";
        }
    }
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(3);
            try {
                SQLiteDatabase database(path);
            } catch (const SQLiteError& error) {
                _exit(error.kind() == SQLiteError::Kind::openFailed &&
                              std::string(error.what()) == "SQLite open failed: attempt to write a readonly database"
                          ? 0
                          : 2);
            }
            _exit(1);
        },
        ::testing::ExitedWithCode(0), "");
}

class SQLiteDatabaseTest : public ::testing::Test {
protected:
    TemporaryFolder folder;
    SQLiteDatabase database{folder.file("test.sqlite")};
    DatabaseInspector inspector{folder.file("test.sqlite")};

    void SetUp() override { database.execute("CREATE TABLE t (id TEXT PRIMARY KEY, a, b, c);"); }
};

TEST_F(SQLiteDatabaseTest, OpensWithWriteAheadLogAndForeignKeys) {
    std::string mode;
    database.query("PRAGMA journal_mode;", {}, [&](const SQLiteRow& row) { mode = row.text(0); });
    EXPECT_EQ(mode, "wal");
    EXPECT_EQ(inspector.scalar("PRAGMA foreign_keys;"), 1);
}

TEST_F(SQLiteDatabaseTest, BindsEveryKindAndLeavesMissingValuesNull) {
    std::string text = "Zürich ☕ 'quoted'";
    database.execute("INSERT INTO t VALUES (?, ?, ?, ?);",
                     {"1", std::numeric_limits<std::int64_t>::min(), 0.25, text});
    text.assign(text.size(), 'x');  // SQLite kept its own copy
    database.execute("INSERT INTO t VALUES (?, ?, ?, ?);", {"2", SQLiteValue{nullptr}, std::int64_t{7}});
    EXPECT_EQ(inspector.rows("SELECT a, b, c, typeof(a), typeof(b), typeof(c) FROM t ORDER BY id;"),
              (Rows{{"-9223372036854775808", "0.25", "Zürich ☕ 'quoted'", "integer", "real", "text"},
                    {"NULL", "7", "NULL", "null", "integer", "null"}}));
}

// Every failure names its stage and carries SQLite's message; the connection goes on working.
TEST_F(SQLiteDatabaseTest, FailuresCarrySQLitesMessageAndLeaveTheConnectionUsable) {
    for (const std::string sql : {"", "   ", "-- nothing"}) {
        expectError(captureError([&] { database.execute(sql); }), SQLiteError::Kind::prepareFailed,
                    "SQLite prepare failed: statement pointer is nil");
    }
    expectError(captureError([&] { database.execute("SELEC 1;"); }), SQLiteError::Kind::prepareFailed,
                "SQLite prepare failed: near \"SELEC\": syntax error");
    expectError(captureError([&] { database.execute("INSERT INTO t (id) VALUES (?);", {"x", "y"}); }),
                SQLiteError::Kind::bindFailed, "SQLite bind failed: column index out of range");
    database.execute("INSERT INTO t (id, a) VALUES ('A', 1), ('B', 0);");
    expectError(captureError([&] { database.execute("INSERT INTO t (id) VALUES (?);", {"A"}); }),
                SQLiteError::Kind::stepFailed, "SQLite step failed: UNIQUE constraint failed: t.id");

    // A query failing midway has handed over its first rows.
    int handled = 0;
    expectError(captureError([&] {
                    database.query("SELECT CASE WHEN a = 0 THEN abs(-9223372036854775807 - 1) ELSE a END "
                                   "FROM t ORDER BY id;",
                                   {}, [&](const SQLiteRow&) { ++handled; });
                }),
                SQLiteError::Kind::stepFailed, "SQLite step failed: integer overflow");
    EXPECT_EQ(handled, 1);

    database.execute("SELECT id FROM t;");  // several rows: succeeds on the first
    database.execute("INSERT INTO t (id) VALUES (?);", {"C"});
    std::vector<std::string> ids;
    database.query("SELECT id FROM t WHERE id > ? ORDER BY id;", {""},
                   [&](const SQLiteRow& row) { ids.push_back(row.text(0)); });
    EXPECT_EQ(ids, (std::vector<std::string>{"A", "B", "C"}));
    database.query("SELECT id FROM t WHERE id > 'Z';", {}, [&](const SQLiteRow&) { ADD_FAILURE(); });
}

TEST_F(SQLiteDatabaseTest, StatementsRunOnTheDatabaseQueueAndCannotNest) {
    EXPECT_STREQ(SQLiteDatabase::queueLabel, "ostrel.sqlite.queue");
    database.execute("INSERT INTO t (id) VALUES ('A');");
    std::thread::id handlerThread;
    bool nestedRefused = false;
    database.query("SELECT id FROM t;", {}, [&](const SQLiteRow&) {
        handlerThread = std::this_thread::get_id();
        // Waiting on its own queue would never end.
        try {
            database.execute("SELECT 1;");
        } catch (const std::logic_error&) {
            nestedRefused = true;
        }
    });
    EXPECT_NE(handlerThread, std::this_thread::get_id());
    EXPECT_TRUE(nestedRefused);
    const auto unitThread = database.runExclusive([](ostrel::SQLiteConnection& connection) {
        connection.execute("INSERT INTO t (id) VALUES ('B');");
        return std::this_thread::get_id();
    });
    EXPECT_EQ(unitThread, handlerThread);
    EXPECT_EQ(inspector.count("t"), 2);
}

}  // namespace
