// Results: statistics over the samples, the run files each screen size
// writes, and the table that puts the runs side by side against the targets.
#include "tools/bench/bench.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// ---------------------------------------------------------------------------
// Globals
// ---------------------------------------------------------------------------

// The targets for a two-core machine drawing with llvmpipe.
static const BenchTarget kTargets[] = {
    {"main ", "median/floor", 1.5},
    {"celebration", "median/floor", 2.5},
    {"page rebuild frame", "max", 50.0},
    {"start-up to first frame", "median", 700.0},
    {"peak resident memory", "max", 200.0},
    {"content build", "median", 120.0},
};

static const char* const kFloorLabel = "floor (empty frame)";

// ---------------------------------------------------------------------------
// Internal helpers
// ---------------------------------------------------------------------------

static const BenchTarget* targetFor(const std::string& label) {
    for (const BenchTarget& t : kTargets)
        if (label.compare(0, strlen(t.labelPrefix), t.labelPrefix) == 0) return &t;
    return nullptr;
}

static const BenchSeries* findSeries(const BenchRun& run, const std::string& label) {
    for (const BenchSeries& s : run.series)
        if (s.label == label) return &s;
    return nullptr;
}

// The figure a target is checked on; NaN when it cannot be computed.
static double targetFigure(const BenchRun& run, const BenchSeries& s, const BenchTarget& t) {
    if (strcmp(t.figure, "max") == 0) return maximum(s.samples);
    if (strcmp(t.figure, "median") == 0) return median(s.samples);
    const BenchSeries* floor = findSeries(run, kFloorLabel);
    if (!floor || median(floor->samples) <= 0.0) return NAN;
    return median(s.samples) / median(floor->samples);
}

static std::string format(const char* pattern, double value) {
    char text[64];
    snprintf(text, sizeof text, pattern, value);
    return text;
}

static std::string cell(const BenchRun& run, const BenchSeries* s) {
    if (!s || s->samples.empty()) return "-";
    const char* pattern = s->unit == "s" ? "%.1f" : "%.2f";
    std::string text = format(pattern, median(s->samples));
    if (s->samples.size() > 1) text += " / " + format(pattern, quantile(s->samples, 0.95));
    const BenchSeries* floor = findSeries(run, kFloorLabel);
    if (s->unit == "ms" && floor && s != floor && median(floor->samples) > 0.0)
        text += " (" + format("%.2fx", median(s->samples) / median(floor->samples)) + ")";
    return text;
}

static std::string verdict(const BenchRun& run, const BenchSeries* s) {
    const BenchTarget* t = s ? targetFor(s->label) : nullptr;
    if (!t || s->samples.empty()) return "";
    double figure = targetFigure(run, *s, *t);
    if (std::isnan(figure)) return "?";
    return (figure <= t->limit ? "ok " : "MISSED ") + format("%.2f", figure);
}

static std::string targetText(const std::string& label) {
    const BenchTarget* t = targetFor(label);
    if (!t) return "";
    return std::string(t->figure) + " <= " + format("%g", t->limit);
}

static void appendRow(std::string& out, const std::vector<std::string>& cells, bool markdown) {
    if (markdown) {
        out += "|";
        for (const std::string& c : cells) out += " " + c + " |";
    } else {
        for (size_t i = 0; i < cells.size(); ++i) {
            char text[128];
            snprintf(text, sizeof text, i == 0 ? "%-44s" : " %-26s", cells[i].c_str());
            out += text;
        }
    }
    out += "\n";
}

// ---------------------------------------------------------------------------
// Statistics
// ---------------------------------------------------------------------------

double quantile(std::vector<double> samples, double q) {
    if (samples.empty()) return 0.0;
    std::sort(samples.begin(), samples.end());
    size_t rank = (size_t)std::ceil(q * (double)samples.size());
    if (rank > 0) --rank;
    if (rank >= samples.size()) rank = samples.size() - 1;
    return samples[rank];
}

double median(const std::vector<double>& samples) { return quantile(samples, 0.5); }

double maximum(const std::vector<double>& samples) {
    double m = 0.0;
    for (double v : samples) m = std::max(m, v);
    return m;
}

// ---------------------------------------------------------------------------
// Results
// ---------------------------------------------------------------------------

// One line per fact ("fact<TAB>key<TAB>value") and per series
// ("series<TAB>label<TAB>unit<TAB>sample ..."), after "screen<TAB>WxH".
bool saveRun(const BenchRun& run, const std::string& path) {
    FILE* f = fopen(path.c_str(), "w");
    if (!f) return false;
    fprintf(f, "screen\t%s\n", run.screen.c_str());
    for (const auto& fact : run.facts) fprintf(f, "fact\t%s\t%s\n", fact.first.c_str(), fact.second.c_str());
    for (const BenchSeries& s : run.series) {
        fprintf(f, "series\t%s\t%s\t", s.label.c_str(), s.unit.c_str());
        for (double v : s.samples) fprintf(f, " %.4f", v);
        fputc('\n', f);
    }
    return fclose(f) == 0;
}

bool loadRun(const std::string& path, BenchRun* run) {
    FILE* f = fopen(path.c_str(), "r");
    if (!f) return false;
    char line[65536];
    bool ok = true;
    while (ok && fgets(line, sizeof line, f)) {
        std::vector<std::string> fields;
        char* save = nullptr;
        for (char* p = strtok_r(line, "\t\n", &save); p; p = strtok_r(nullptr, "\t\n", &save)) fields.push_back(p);
        if (fields.size() == 2 && fields[0] == "screen") {
            run->screen = fields[1];
        } else if (fields.size() == 3 && fields[0] == "fact") {
            run->facts.push_back({fields[1], fields[2]});
        } else if (fields.size() >= 3 && fields[0] == "series") {
            BenchSeries s{fields[1], fields[2], {}};
            const char* p = fields.size() > 3 ? fields[3].c_str() : "";
            char* end;
            for (double v = strtod(p, &end); end != p; v = strtod(p, &end)) {
                s.samples.push_back(v);
                p = end;
            }
            run->series.push_back(s);
        } else {
            ok = false;
        }
    }
    fclose(f);
    return ok;
}

std::string formatReport(const std::vector<BenchRun>& runs, bool markdown) {
    std::vector<std::string> labels;
    for (const BenchRun& run : runs)
        for (const BenchSeries& s : run.series)
            if (std::find(labels.begin(), labels.end(), s.label) == labels.end()) labels.push_back(s.label);

    std::string out;
    std::vector<std::string> header{"measure"};
    for (const BenchRun& run : runs) {
        header.push_back(run.screen + ": median / p95 (x floor)");
        header.push_back(run.screen + ": target");
    }
    header.push_back("target");
    appendRow(out, header, markdown);
    if (markdown) {
        std::string rule = "|";
        for (size_t i = 0; i < header.size(); ++i) rule += " --- |";
        out += rule + "\n";
    }
    for (const std::string& label : labels) {
        std::vector<std::string> cells{label};
        const BenchSeries* any = nullptr;
        for (const BenchRun& run : runs) {
            const BenchSeries* s = findSeries(run, label);
            if (s) any = s;
            cells.push_back(cell(run, s));
            cells.push_back(verdict(run, s));
        }
        cells[0] += any ? " [" + any->unit + "]" : "";
        cells.push_back(targetText(label));
        appendRow(out, cells, markdown);
    }
    return out;
}
