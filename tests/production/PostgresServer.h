// A real PostgreSQL server for the tests of the record store: initdb into a fresh folder under
// /tmp, started listening on a Unix socket in that folder alone (no TCP port), one database per
// test, stopped and removed when the test program ends. The server refuses to run as root, so as
// root it runs as `nobody` with the folder given to it.
#pragma once

#include <fcntl.h>
#include <grp.h>
#include <libpq-fe.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace quillon::test {

class PostgresServer {
public:
    // The server of this test program, started on first use.
    static PostgresServer& Shared()
    {
        static PostgresServer server;
        return server;
    }

    bool Running() const { return running_; }
    // Why there is no server, for the skip message.
    const std::string& Why() const { return why_; }

    // A fresh, empty database and its URL.
    std::string NewDatabase()
    {
        const std::string name = "t" + std::to_string(::getpid()) + "_" + std::to_string(++databases_);
        const std::string error = Execute(Url("postgres"), "CREATE DATABASE " + name);
        if (!error.empty()) return "";
        return Url(name);
    }

    // Stops the server, as a crash or a maintenance would; Start brings it back.
    bool Stop() { return Run({bin_ / "pg_ctl", "-D", folder_ / "data", "-m", "fast", "-w", "stop"}); }
    bool Start() const
    {
        return Run({bin_ / "pg_ctl", "-D", folder_ / "data", "-l", folder_ / "server.log", "-w", "-o",
                    "-c listen_addresses='' -k " + folder_.string() + " -c fsync=off", "start"});
    }

    std::string Url(const std::string& database) const
    {
        return "postgresql://quillon@/" + database + "?host=" + folder_.string();
    }

    // Runs `sql` on the database at `url`; the server's message when it failed.
    static std::string Execute(const std::string& url, const std::string& sql)
    {
        PGconn* conn = PQconnectdb(url.c_str());
        std::string error;
        if (PQstatus(conn) != CONNECTION_OK) {
            error = PQerrorMessage(conn);
        } else {
            PGresult* r = PQexec(conn, sql.c_str());
            const ExecStatusType status = PQresultStatus(r);
            if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) error = PQerrorMessage(conn);
            PQclear(r);
        }
        PQfinish(conn);
        return error;
    }

    ~PostgresServer()
    {
        // Children forked by a test end with _exit; only the program that started the server stops it.
        if (::getpid() != owner_) return;
        if (running_) Run({bin_ / "pg_ctl", "-D", folder_ / "data", "-m", "immediate", "-w", "stop"});
        std::error_code ignored;
        if (!folder_.empty()) std::filesystem::remove_all(folder_, ignored);
    }

private:
    std::filesystem::path bin_, folder_;
    bool running_ = false;
    std::string why_;
    int databases_ = 0;
    pid_t owner_ = ::getpid();
    bool asNobody_ = false;
    uid_t uid_ = 0;
    gid_t gid_ = 0;

    PostgresServer()
    {
        // Debian keeps each version's programs in its own folder, off the PATH: the newest.
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator("/usr/lib/postgresql", ec))
            if (std::filesystem::exists(entry.path() / "bin" / "initdb") && entry.path() / "bin" > bin_)
                bin_ = entry.path() / "bin";
        if (bin_.empty()) {
            why_ = "no PostgreSQL server installed (/usr/lib/postgresql/*/bin/initdb; Debian package postgresql)";
            return;
        }
        std::string pattern = "/tmp/quillon-pg-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) {
            why_ = "cannot make a folder for the PostgreSQL server";
            return;
        }
        folder_ = pattern;
        if (::geteuid() == 0) {
            const passwd* nobody = ::getpwnam("nobody");
            if (!nobody || ::chown(folder_.c_str(), nobody->pw_uid, nobody->pw_gid) != 0) {
                why_ = "running as root, and cannot give the server's folder to the user nobody";
                return;
            }
            asNobody_ = true;
            uid_ = nobody->pw_uid;
            gid_ = nobody->pw_gid;
        }
        if (!Run({bin_ / "initdb", "-D", folder_ / "data", "-U", "quillon", "-A", "trust", "--no-sync",
                  "--locale=C", "-E", "UTF8"})) {
            why_ = "initdb failed (see " + (folder_ / "server.log").string() + ")";
            return;
        }
        if (!Start()) {
            why_ = "the PostgreSQL server did not start (see " + (folder_ / "server.log").string() + ")";
            return;
        }
        running_ = true;
    }

    // Runs one of the server's programs as the server's user, its output into server.log.
    bool Run(const std::vector<std::string>& args) const
    {
        const std::string log = (folder_ / "server.log").string();
        const pid_t child = ::fork();
        if (child == 0) {
            if (asNobody_ && (::setgroups(0, nullptr) != 0 || ::setgid(gid_) != 0 || ::setuid(uid_) != 0)) ::_exit(126);
            const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
            if (out >= 0) {
                ::dup2(out, 1);
                ::dup2(out, 2);
            }
            if (::chdir(folder_.c_str()) != 0) ::_exit(126);
            std::vector<std::string> all = args;
            std::vector<char*> argv;
            for (auto& a : all) argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        int status = 0;
        return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }
};

}  // namespace quillon::test
