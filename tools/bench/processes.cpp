// Timings that need a process of their own: the game's start-up from the
// spawn to the first presented frame, and a full content build.
#include "tools/bench/bench.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <spawn.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

// ---------------------------------------------------------------------------
// Internal helpers
// ---------------------------------------------------------------------------

std::string scratchFolder(const char* tag) {
    std::string pattern = std::string("/tmp/tintaria-bench-") + tag + "-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (!mkdtemp(buffer.data())) return "";
    return buffer.data();
}

static void removeFolder(const std::string& path) {
    if (path.empty()) return;
    std::string command = "rm -rf '" + path + "'";
    if (system(command.c_str()) != 0) fprintf(stderr, "could not remove %s\n", path.c_str());
}

static BenchSeries* seriesFor(BenchRun* run, const char* label, const char* unit) {
    for (BenchSeries& s : run->series)
        if (s.label == label) return &s;
    run->series.push_back(BenchSeries{label, unit, {}});
    return &run->series.back();
}

// Spawns argv with stdout into a pipe (when out is given), stderr to /dev/null when
// quiet, and waits; false when it cannot be started or does not exit with status 0.
static bool runChild(char* const argv[], std::string* out, bool quiet) {
    int fds[2] = {-1, -1};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (quiet) posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    if (out) {
        if (pipe(fds) != 0) return false;
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        posix_spawn_file_actions_addclose(&actions, fds[1]);
    }
    pid_t pid;
    int failed = posix_spawn(&pid, argv[0], &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (out) close(fds[1]);
    if (failed) {
        if (out) close(fds[0]);
        return false;
    }
    if (out) {
        char chunk[256];
        ssize_t n;
        while ((n = read(fds[0], chunk, sizeof chunk)) > 0 || (n < 0 && errno == EINTR))
            if (n > 0) out->append(chunk, (size_t)n);
        close(fds[0]);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// ---------------------------------------------------------------------------
// Measuring
// ---------------------------------------------------------------------------

void measureStartup(const char* selfPath, int runs, BenchRun* run) {
    for (int i = 0; i < runs; ++i) {
        // A first start: no settings file yet, so the help screen opens too.
        std::string userFolder = scratchFolder("startup");
        setenv("XDG_DATA_HOME", userFolder.c_str(), 1);
        char* argv[] = {(char*)selfPath, (char*)"first-frame", nullptr};
        std::string out;
        double spawned = nowMs();
        bool ok = runChild(argv, &out, true);
        removeFolder(userFolder);
        long long presentedNs = 0;
        long peakKilobytes = 0;
        if (!ok || sscanf(out.c_str(), "%lld %ld", &presentedNs, &peakKilobytes) != 2 || presentedNs <= 0) {
            fprintf(stderr, "tintaria-bench: start-up run %d failed\n", i + 1);
            continue;
        }
        seriesFor(run, "start-up to first frame", "ms")->samples.push_back((double)presentedNs / 1e6 - spawned);
        seriesFor(run, "peak resident memory (start-up)", "MB")->samples.push_back((double)peakKilobytes / 1024.0);
    }
}

void measureContentBuild(const char* studioPath, BenchRun* run) {
    std::string outFolder = scratchFolder("content");
    char* argv[] = {(char*)studioPath, (char*)outFolder.c_str(), nullptr};
    std::string report;  // the builder's tables; only its failure matters here
    double start = nowMs();
    bool ok = !outFolder.empty() && runChild(argv, &report, false);
    double seconds = (nowMs() - start) / 1000.0;
    removeFolder(outFolder);
    if (!ok) {
        fprintf(stderr, "tintaria-bench: the content build failed\n");
        return;
    }
    seriesFor(run, "content build (every archive)", "s")->samples.push_back(seconds);
}
