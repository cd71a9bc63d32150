#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include "Persistence/SQLiteDatabase.hpp"
#include "Persistence/support/PersistenceTestSupport.hpp"

using ostrel::SQLiteDatabase;
using ostrel::SQLiteError;
using ostrel::SQLiteRow;
using ostrel::SQLiteValue;
using ostrel::testing::TemporaryFolder;

namespace {

class SQLiteDatabaseTest : public ::testing::Test {
protected:
    TemporaryFolder folder;
    SQLiteDatabase database{folder.file("test.sqlite")};

    void SetUp() override { database.execute("CREATE TABLE t (id INTEGER PRIMARY KEY, a, b, c);"); }

    std::vector<std::vector<std::string>> rows(const std::string& sql) {
        std::vector<std::vector<std::string>> result;
        database.query(sql, {}, [&](const SQLiteRow& row) {
            std::vector<std::string> columns;
            for (int column = 0; column < sqlite3_column_count(row.statement()); ++column) {
                columns.push_back(row.optionalText(column).value_or("NULL"));
            }
            result.push_back(columns);
        });
        return result;
    }
};

SQLiteError captureError(const std::function<void()>& work) {
    try {
        work();
    } catch (const SQLiteError& error) {
        return error;
    }
    throw std::logic_error("expected an SQLiteError");
}

TEST(SQLiteDatabaseOpenTest, SetsUpWriteAheadLogAndForeignKeys) {
    TemporaryFolder folder;
    SQLiteDatabase database(folder.file("open.sqlite"));
    std::string mode;
    std::int64_t foreignKeys = -1;
    database.query("PRAGMA journal_mode;", {}, [&](const SQLiteRow& row) { mode = row.text(0); });
    database.query("PRAGMA foreign_keys;", {}, [&](const SQLiteRow& row) { foreignKeys = row.int64(0); });
    EXPECT_EQ(mode, "wal");
    EXPECT_EQ(foreignKeys, 1);
}

TEST(SQLiteDatabaseOpenTest, UnopenablePathsFailWithSQLitesOpenMessage) {
    TemporaryFolder folder;
    // A missing folder, a folder itself, and a place where no file can be created, even by root.
    for (const std::string& path :
         {folder.file("missing/ostrel.sqlite"), folder.path(), std::string("/proc/ostrel-test.sqlite")}) {
        SCOPED_TRACE(path);
        const SQLiteError error = captureError([&] { SQLiteDatabase database(path); });
        EXPECT_EQ(error.kind(), SQLiteError::Kind::openFailed);
        EXPECT_EQ(error.message(), "unable to open database file");
        EXPECT_STREQ(error.what(), "SQLite open failed: unable to open database file");
    }
}

// Root writes through file permissions, so the check runs as an unprivileged user in a child.
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
                const bool expected =
                    error.kind() == SQLiteError::Kind::openFailed &&
                    std::string(error.what()) == "SQLite open failed: attempt to write a readonly database";
                _exit(expected ? 0 : 2);
            }
            _exit(1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(SQLiteDatabaseTest, ExecuteSucceedsOnTheFirstOfSeveralRows) {
    database.execute("INSERT INTO t (a) VALUES (1), (2), (3);");
    EXPECT_NO_THROW(database.execute("SELECT a FROM t;"));
}

TEST_F(SQLiteDatabaseTest, EmptyOrCommentOnlyTextFailsToPrepareWithFixedText) {
    for (const std::string sql : {"", "   ", "-- nothing"}) {
        const SQLiteError error = captureError([&] { database.execute(sql); });
        EXPECT_EQ(error.kind(), SQLiteError::Kind::prepareFailed);
        EXPECT_STREQ(error.what(), "SQLite prepare failed: statement pointer is nil");
    }
    const SQLiteError syntax = captureError([&] { database.execute("SELEC 1;"); });
    EXPECT_EQ(syntax.kind(), SQLiteError::Kind::prepareFailed);
    EXPECT_STREQ(syntax.what(), "SQLite prepare failed: near \"SELEC\": syntax error");
}

TEST_F(SQLiteDatabaseTest, BindsEveryKindAndLeavesMissingValuesNull) {
    const std::int64_t big = std::numeric_limits<std::int64_t>::min();
    std::string text = "Zürich ☕ 'quoted'";
    database.execute("INSERT INTO t (a, b, c) VALUES (?, ?, ?);", {big, 0.25, text});
    text.assign(text.size(), 'x');  // SQLite kept its own copy
    database.execute("INSERT INTO t (a, b, c) VALUES (?, ?, ?);", {SQLiteValue{nullptr}, std::int64_t{7}});
    EXPECT_EQ(rows("SELECT a, b, c, typeof(a), typeof(b), typeof(c) FROM t ORDER BY id;"),
              (std::vector<std::vector<std::string>>{
                  {"-9223372036854775808", "0.25", "Zürich ☕ 'quoted'", "integer", "real", "text"},
                  {"NULL", "7", "NULL", "null", "integer", "null"}}));
}

TEST_F(SQLiteDatabaseTest, TooManyValuesFailToBindWithRangeMessage) {
    const SQLiteError error = captureError([&] {
        database.execute("INSERT INTO t (a) VALUES (?);", {std::int64_t{1}, std::int64_t{2}});
    });
    EXPECT_EQ(error.kind(), SQLiteError::Kind::bindFailed);
    EXPECT_STREQ(error.what(), "SQLite bind failed: column index out of range");
    EXPECT_TRUE(rows("SELECT * FROM t;").empty());
}

TEST_F(SQLiteDatabaseTest, QueryCallsHandlerPerRowInOrderAndNeverForNoMatch) {
    database.execute("INSERT INTO t (a) VALUES (3), (1), (2);");
    std::vector<std::int64_t> seen;
    database.query("SELECT a FROM t WHERE a > ? ORDER BY a;", {std::int64_t{0}},
                   [&](const SQLiteRow& row) { seen.push_back(row.int64(0)); });
    EXPECT_EQ(seen, (std::vector<std::int64_t>{1, 2, 3}));
    int calls = 0;
    database.query("SELECT a FROM t WHERE a > 10;", {}, [&](const SQLiteRow&) { ++calls; });
    EXPECT_EQ(calls, 0);
}

TEST_F(SQLiteDatabaseTest, ConstraintViolationFailsAtStepAndConnectionStaysUsable) {
    database.execute("CREATE TABLE k (id TEXT PRIMARY KEY);");
    database.execute("INSERT INTO k (id) VALUES ('A');");
    const SQLiteError error = captureError([&] { database.execute("INSERT INTO k (id) VALUES (?);", {"A"}); });
    EXPECT_EQ(error.kind(), SQLiteError::Kind::stepFailed);
    EXPECT_STREQ(error.what(), "SQLite step failed: UNIQUE constraint failed: k.id");

    // A query that fails midway hands over its first rows, then the error.
    database.execute("INSERT INTO t (a) VALUES (1), (0);");
    int handled = 0;
    const SQLiteError midway = captureError([&] {
        database.query("SELECT CASE WHEN a = 0 THEN abs(-9223372036854775807 - 1) ELSE a END FROM t ORDER BY id;", {},
                       [&](const SQLiteRow&) { ++handled; });
    });
    EXPECT_EQ(midway.kind(), SQLiteError::Kind::stepFailed);
    EXPECT_STREQ(midway.what(), "SQLite step failed: integer overflow");
    EXPECT_EQ(handled, 1);

    database.execute("INSERT INTO k (id) VALUES (?);", {"B"});
    EXPECT_EQ(rows("SELECT id FROM k ORDER BY id;"), (std::vector<std::vector<std::string>>{{"A"}, {"B"}}));
}

TEST_F(SQLiteDatabaseTest, StatementsRunOnTheDatabaseQueue) {
    EXPECT_STREQ(SQLiteDatabase::queueLabel, "ostrel.sqlite.queue");
    EXPECT_FALSE(database.isCurrentQueue());
    database.execute("INSERT INTO t (a) VALUES (1);");
    bool onQueue = false;
    bool nestedRefused = false;
    database.query("SELECT a FROM t;", {}, [&](const SQLiteRow&) {
        onQueue = database.isCurrentQueue();
        // Issuing a statement from a row handler would wait on its own queue forever.
        try {
            database.execute("SELECT 1;");
        } catch (const std::logic_error&) {
            nestedRefused = true;
        }
    });
    EXPECT_TRUE(onQueue);
    EXPECT_TRUE(nestedRefused);

    const bool unitOnQueue = database.runExclusive([&](ostrel::SQLiteConnection& connection) {
        connection.execute("INSERT INTO t (a) VALUES (2);");
        return database.isCurrentQueue();
    });
    EXPECT_TRUE(unitOnQueue);
    EXPECT_EQ(rows("SELECT COUNT(*) FROM t;"), (std::vector<std::vector<std::string>>{{"2"}}));
}

}  // namespace
