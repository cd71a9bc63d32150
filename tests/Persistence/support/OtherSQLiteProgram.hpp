#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

namespace ostrel::testing {

// Another program in a transaction on a database, held until it is let go: Python's sqlite3,
// reading the samples, or writing a row of its own into a table "other_program" (n = 7).
class OtherSQLiteProgram {
public:
    OtherSQLiteProgram(const std::string& path, bool writes) {
        int in[2], out[2];
        EXPECT_EQ(::pipe(in), 0);
        EXPECT_EQ(::pipe(out), 0);
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(in[0], 0), ::dup2(out[1], 1);
            for (int fd : {in[0], in[1], out[0], out[1]}) ::close(fd);
            ::execlp("python3", "python3", "-c", R"py(
import sqlite3, sys
db = sqlite3.connect(sys.argv[1], isolation_level=None, timeout=60)
if sys.argv[2] == "write":
    db.execute("BEGIN IMMEDIATE")
    db.execute("CREATE TABLE IF NOT EXISTS other_program (n INTEGER)")
    db.execute("INSERT INTO other_program VALUES (7)")
else:
    db.execute("BEGIN")
db.execute("SELECT COUNT(*) FROM usage_samples").fetchone()
print("held", flush=True)
sys.stdin.readline()
db.execute("COMMIT")
db.close()
)py",
                     path.c_str(), writes ? "write" : "read", nullptr);
            ::_exit(127);
        }
        ::close(in[0]), ::close(out[1]);
        toChild_ = in[1], fromChild_ = out[0];
        char held[5] = {};
        EXPECT_EQ(::read(fromChild_, held, 4), 4);
        EXPECT_STREQ(held, "held");
    }
    OtherSQLiteProgram(const OtherSQLiteProgram&) = delete;
    OtherSQLiteProgram& operator=(const OtherSQLiteProgram&) = delete;
    ~OtherSQLiteProgram() {
        if (pid_ > 0) ::kill(pid_, SIGKILL), ::waitpid(pid_, nullptr, 0);
        ::close(toChild_), ::close(fromChild_);
    }
    // Commits and closes the database; true when it ended well.
    bool letGo() {
        EXPECT_EQ(::write(toChild_, "\n", 1), 1);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }

private:
    pid_t pid_ = -1;
    int toChild_ = -1, fromChild_ = -1;
};

}  // namespace ostrel::testing
