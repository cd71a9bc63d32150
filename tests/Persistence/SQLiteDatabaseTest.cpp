#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <future>
#include <limits>
#include <stdexcept>
#include <thread>
#include <tuple>

#include "Persistence/support/PersistenceTestSupport.hpp"

using namespace ostrel;
using namespace ostrel::testing;
using Kind = SQLiteError::Kind;

namespace {

void expectError(const std::function<void()>& work, Kind kind, const std::string& description) {
    try {
        work();
        ADD_FAILURE() << "no error, expected " << description;
    } catch (const SQLiteError& error) {
        EXPECT_EQ(error.kind(), kind);
        EXPECT_EQ(error.what(), description);
    }
}

// SQLite would quietly open a write-protected file for reading only. Root writes through file
// permissions, so that open runs as an unprivileged user in a child process.
TEST(SQLiteDatabaseOpenTest, UnopenableOrWriteProtectedPathsFailWithTheOpenMessage) {
    TempTree folder;
    for (const std::string& path : {folder.file("missing/ostrel.sqlite"), folder.root}) {
        expectError([&] { SQLiteDatabase database(path); }, Kind::openFailed,
                    "SQLite open failed: unable to open database file");
    }
    const std::string path = folder.file("readonly.sqlite");
    { SQLiteDatabase database(path); }
    ASSERT_EQ(chmod(folder.root.c_str(), 0755), 0);
    ASSERT_EQ(chmod(path.c_str(), 0444), 0);
    for (auto dir = std::filesystem::path(folder.root).parent_path(); geteuid() == 0 && dir != dir.root_path();
         dir = dir.parent_path()) {
        struct stat info {};
        if (stat(dir.c_str(), &info) != 0 || (info.st_mode & S_IXOTH) == 0) GTEST_SKIP() << dir << " is closed";
    }
    // Forked rather than a death test: that would run this test again in a new process, whose own
    // folder nothing removes.
    int output[2];
    ASSERT_EQ(pipe(output), 0);
    const pid_t child = fork();
    if (child == 0) {
        close(output[0]);
        dup2(output[1], STDERR_FILENO);
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(3);
        try {
            SQLiteDatabase database(path);
        } catch (const SQLiteError& error) {
            fputs(error.what(), stderr);
            _exit(error.kind() == Kind::openFailed ? 0 : 2);
        }
        _exit(1);
    }
    close(output[1]);
    std::string message;
    char buffer[256];
    for (ssize_t n; (n = read(output[0], buffer, sizeof buffer)) > 0;)
        message.append(buffer, static_cast<std::size_t>(n));
    close(output[0]);
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(message, "SQLite open failed: attempt to write a readonly database");
}

// Switching a new file to the write-ahead log takes a lock that SQLite does not wait for on its
// own; processes that open the file together must still all succeed.
TEST(SQLiteDatabaseOpenTest, ProcessesOpeningOneNewFileTogetherAllSucceed) {
    TempTree folder;
    int failures = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string path = folder.file(std::to_string(attempt) + ".sqlite");
        int gate[2];
        ASSERT_EQ(pipe(gate), 0);
        std::vector<pid_t> children;
        for (int child = 0; child < 4; ++child) {
            children.push_back(fork());
            if (children.back() == 0) {
                close(gate[1]);
                char go;
                if (read(gate[0], &go, 1) != 0) _exit(3);  // all start when the gate closes
                try {
                    SQLiteDatabase database(path);
                } catch (const std::exception& error) {
                    fprintf(stderr, "%s\n", error.what());
                    _exit(1);
                }
                _exit(0);
            }
        }
        close(gate[0]);
        close(gate[1]);
        for (const pid_t child : children) {
            int status = -1;
            waitpid(child, &status, 0);
            failures += !WIFEXITED(status) || WEXITSTATUS(status) != 0;
        }
    }
    EXPECT_EQ(failures, 0);
}

class SQLiteDatabaseTest : public ::testing::Test {
protected:
    TempTree folder;
    SQLiteDatabase database{folder.file("test.sqlite")};
    DatabaseInspector inspector{folder.file("test.sqlite")};

    void SetUp() override { database.execute("CREATE TABLE t (id TEXT PRIMARY KEY, a, b, c);"); }
};

TEST_F(SQLiteDatabaseTest, OpensWithWriteAheadLogAndForeignKeysAndBindsEveryKind) {
    EXPECT_EQ(inspector.rows("PRAGMA journal_mode;"), (Rows{{"wal"}}));
    EXPECT_EQ(inspector.scalar("PRAGMA foreign_keys;"), 1);
    std::string text = "Zürich ☕ 'quoted'";
    database.execute("INSERT INTO t VALUES (?, ?, ?, ?);", {"1", std::numeric_limits<std::int64_t>::min(), 0.25, text});
    text.assign(text.size(), 'x');  // SQLite kept its own copy
    database.execute("INSERT INTO t VALUES (?, ?, ?, ?);", {"2", SQLiteValue{nullptr}, std::int64_t{7}});
    EXPECT_EQ(inspector.rows("SELECT a, b, c, typeof(a), typeof(b), typeof(c) FROM t ORDER BY id;"),
              (Rows{{"-9223372036854775808", "0.25", "Zürich ☕ 'quoted'", "integer", "real", "text"},
                    {"NULL", "7", "NULL", "null", "integer", "null"}}));
}

// Every failure names its stage and carries SQLite's message; the connection goes on working.
TEST_F(SQLiteDatabaseTest, FailuresCarrySQLitesMessageAndLeaveTheConnectionUsable) {
    database.execute("INSERT INTO t (id, a) VALUES ('A', 1), ('B', 0);");
    int handled = 0;
    const std::vector<std::tuple<std::function<void()>, Kind, const char*>> cases{
        {[&] { database.execute(""); }, Kind::prepareFailed, "SQLite prepare failed: statement pointer is nil"},
        {[&] { database.execute("  -- nothing"); }, Kind::prepareFailed,
         "SQLite prepare failed: statement pointer is nil"},
        {[&] { database.execute("SELEC 1;"); }, Kind::prepareFailed,
         "SQLite prepare failed: near \"SELEC\": syntax error"},
        {[&] {
             database.execute("INSERT INTO t (id) VALUES (?);", {"x", "y"});
         },
         Kind::bindFailed, "SQLite bind failed: column index out of range"},
        {[&] { database.execute("INSERT INTO t (id) VALUES (?);", {"A"}); }, Kind::stepFailed,
         "SQLite step failed: UNIQUE constraint failed: t.id"},
        // A query failing midway has handed over its first rows.
        {[&] {
             database.query("SELECT CASE WHEN a = 0 THEN abs(-9223372036854775807 - 1) ELSE a END FROM t ORDER BY id;",
                            {}, [&](const SQLiteRow&) { ++handled; });
         },
         Kind::stepFailed, "SQLite step failed: integer overflow"}};
    for (const auto& [work, kind, description] : cases) expectError(work, kind, description);
    EXPECT_EQ(handled, 1);

    database.execute("SELECT id FROM t;");  // several rows: succeeds on the first
    database.execute("INSERT INTO t (id) VALUES (?);", {"C"});
    std::vector<std::string> ids;
    database.query("SELECT id FROM t WHERE id > ? ORDER BY id;", {""},
                   [&](const SQLiteRow& row) { ids.push_back(row.text(0)); });
    EXPECT_EQ(ids, (std::vector<std::string>{"A", "B", "C"}));
}

// A statement kept prepared between runs follows changes another connection makes to the schema,
// and fails as a new statement would once its table is gone; a unit queued without waiting runs
// before what is asked after it.
TEST_F(SQLiteDatabaseTest, KeptStatementsFollowTheSchemaAndLaterUnitsRunInTurn) {
    const auto insert = [&](const char* id) {
        database.runExclusive(
            [&](SQLiteConnection& c) { c.executeKept("INSERT INTO t (id, a) VALUES (?, 1);", {id}); });
    };
    insert("A");
    inspector.execute("ALTER TABLE t RENAME TO old;");
    inspector.execute("CREATE TABLE t (id TEXT PRIMARY KEY, a INTEGER, d TEXT DEFAULT 'new');");
    insert("B");
    EXPECT_EQ(inspector.rows("SELECT id, d FROM t;"), (Rows{{"B", "new"}}));
    inspector.execute("DROP TABLE t;");
    expectError([&] { insert("C"); }, Kind::prepareFailed, "SQLite prepare failed: no such table: t");
    inspector.execute("CREATE TABLE t (id TEXT PRIMARY KEY, a INTEGER);");
    insert("C");
    expectError([&] { insert("C"); }, Kind::stepFailed, "SQLite step failed: UNIQUE constraint failed: t.id");

    std::vector<std::string> order;
    std::promise<void> release;
    database.runExclusiveLater([&, waiting = release.get_future().share()](SQLiteConnection&) {
        waiting.wait();
        order.push_back("later");
    });
    std::thread asker([&] { database.query("SELECT 1;", {}, [&](const SQLiteRow&) { order.push_back("asked"); }); });
    release.set_value();
    asker.join();
    EXPECT_EQ(order, (std::vector<std::string>{"later", "asked"}));
    bool ran = false;
    {
        TempTree other;
        SQLiteDatabase closing(other.file("closing.sqlite"));
        closing.runExclusiveLater(
            [&](SQLiteConnection&) { std::this_thread::sleep_for(std::chrono::milliseconds(50)); });
        closing.runExclusiveLater([&](SQLiteConnection&) { ran = true; });
    }
    EXPECT_FALSE(ran);
}

TEST_F(SQLiteDatabaseTest, StatementsRunOnTheDatabaseQueueAndCannotNest) {
    EXPECT_STREQ(SQLiteDatabase::queueLabel, "ostrel.sqlite.queue");
    database.execute("INSERT INTO t (id) VALUES ('A');");
    std::thread::id handlerThread;
    database.query("SELECT id FROM t;", {}, [&](const SQLiteRow&) {
        handlerThread = std::this_thread::get_id();
        EXPECT_THROW(database.execute("SELECT 1;"), std::logic_error);  // waiting on its own queue would never end
    });
    EXPECT_NE(handlerThread, std::this_thread::get_id());
    EXPECT_EQ(database.runExclusive([](SQLiteConnection&) { return std::this_thread::get_id(); }), handlerThread);
}

}  // namespace
