// The benchmark: the game's own start-up, scene and frame, drawn unpaced in
// the real window, timed frame by frame; start-up and content-build times
// from child processes; a table of the results, also written as Markdown.
#pragma once

#include <string>
#include <vector>

// ---------------------------------------------------------------------------
// Types
// ---------------------------------------------------------------------------

// One measured quantity: its samples in the order taken (ms, or MB for memory).
struct BenchSeries {
    std::string label;
    std::string unit;            // "ms" or "MB"
    std::vector<double> samples;
};

// What one run at one screen size measured, and where.
struct BenchRun {
    std::string screen;          // "1920x1080"
    std::vector<std::pair<std::string, std::string>> facts;  // machine and renderer, in report order
    std::vector<BenchSeries> series;
};

// A limit a figure of the table is held to.
struct BenchTarget {
    const char* labelPrefix;     // applies to every series whose label starts with this
    const char* figure;          // "median/floor", "max", "median"
    double limit;
};

// How long each frame scenario runs.
struct FrameBudget {
    int warmupFrames;            // drawn and not timed: growth animations settle, caches fill
    int timedFrames;
};

// ---------------------------------------------------------------------------
// Statistics
// ---------------------------------------------------------------------------

// The q-quantile (0 to 1, nearest rank) of the samples; 0 for none.
double quantile(std::vector<double> samples, double q);
double median(const std::vector<double>& samples);
double maximum(const std::vector<double>& samples);

// ---------------------------------------------------------------------------
// Measuring (window open under an X screen of the wanted size)
// ---------------------------------------------------------------------------

// Frames of every scenario in one window at the screen's size; the game's scene is made and taken down here.
BenchRun measureFrames(const FrameBudget& budget);
// Profiling mode: one page's main screen (page 0: the empty frame), settled, then count frames inside profiledFrames.
int profileFrames(int pageId, bool detailed, bool numbers, int count);
void profiledFrames(int count);
// Child mode: the game's start-up and one frame, then prints the monotonic clock (ns) after that frame.
int reportFirstFrame();
// Start-up of `runs` children of this program: ms from spawning to their first frame, and their peak RSS.
void measureStartup(const char* selfPath, int runs, BenchRun* run);
// A new folder /tmp/tintaria-bench-<tag>-XXXXXX; empty on failure. The caller removes it.
std::string scratchFolder(const char* tag);
// Seconds for the content builder to write every archive into a scratch folder (removed afterwards).
void measureContentBuild(const char* studioPath, BenchRun* run);
// Monotonic clock in ms.
double nowMs();

// ---------------------------------------------------------------------------
// Results
// ---------------------------------------------------------------------------

// Writes the run as text lines; false when the file cannot be written.
bool saveRun(const BenchRun& run, const std::string& path);
// Reads a run saved by saveRun; false when the file cannot be read or a line is malformed.
bool loadRun(const std::string& path, BenchRun* run);
// The comparison table of the runs, side by side, with the targets checked; Markdown when markdown is set.
std::string formatReport(const std::vector<BenchRun>& runs, bool markdown);
