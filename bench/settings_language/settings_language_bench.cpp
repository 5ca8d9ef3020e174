// Loading and writing a settings file of 10,000 statements; one statement of many values.
#include <benchmark/benchmark.h>

#include <string>

#include "Tdevelopervariables.h"

namespace {

const int kStatements = 10000;

void Declarations(TStringList& l) {
    for (const char* s : {"context Settings",
                          "integer DefTempo=120",
                          "string DefTimeSignature=\"4:4\"",
                          "string TimeSignature[*]",
                          "integer Levels[2000]",
                          "context Tool1",
                          "bool Enabled",
                          "integer PlayBeats=4",
                          "integer RestBeats=4",
                          "}",
                          "}",
                          "context SettingsDialog",
                          "integer Latency[*]=0",
                          "context Preset[*]",
                          "context Set[*]",
                          "bool UseMidi=1",
                          "string WaveFile",
                          "integer Volume=100",
                          "integer Pan",
                          "}",
                          "}",
                          "}",
                          "string Hints[*]"})
        l.Add(s);
}

// A realistic mix: hints, favourite time signatures, array elements and preset blocks.
void Statements(TStringList& l) {
    int n = 0;
    for (int i = 0; i < 3000; ++i, ++n)
        l.Add("Hints[Control" + std::to_string(i) + "]=\"Hint number " + std::to_string(i) + "; press it\"");
    for (int i = 0; i < 2500; ++i, ++n)
        l.Add("Settings.TimeSignature[" + std::to_string(i + 1) + "]=\"" + std::to_string(2 + i % 11) + ":4\"");
    for (int i = 0; i < 2000; ++i, ++n)
        l.Add("Settings.Levels[" + std::to_string(i + 1) + "]=" + std::to_string(i % 7 * 10));
    l.Add("SettingsDialog {");
    ++n;
    int p = 0;
    while (n < kStatements - 1) {
        l.Add("\tPreset[P" + std::to_string(p) + "] {");
        l.Add("\t\tSet[Bar].Volume=" + std::to_string(p % 127));
        l.Add("\t\tSet[Beat].WaveFile=\"wave" + std::to_string(p) + ".wav\"");
        l.Add("\t\t}");
        n += 4;
        ++p;
    }
    l.Add("\t}");
}

void BM_Load(benchmark::State& state) {
    TStringList decls, lines;
    Declarations(decls);
    Statements(lines);
    for (auto _ : state) {
        state.PauseTiming();
        auto root = std::make_unique<TDVContext>();
        root->LoadFromStrings(&decls, 0, -1);
        state.ResumeTiming();
        root->LoadFromStrings(&lines, 0, -1);
        state.PauseTiming();
        root.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * lines.Count());
    state.counters["statements"] = lines.Count();
}

void BM_Write(benchmark::State& state) {
    TStringList decls, lines;
    Declarations(decls);
    Statements(lines);
    TDVContext root;
    root.LoadFromStrings(&decls, 0, -1);
    root.LoadFromStrings(&lines, 0, -1);
    int written = 0;
    for (auto _ : state) {
        TStringList out;
        root.SaveToStrings(&out);
        written = out.Count();
        benchmark::DoNotOptimize(written);
    }
    state.SetItemsProcessed(state.iterations() * lines.Count());
    state.counters["lines_written"] = written;
}

// The time per value stays the same as the statement grows: reading never copies the rest of the line.
void BM_OneStatementOfManyValues(benchmark::State& state) {
    TStringList lines;
    std::string values = "b=0";
    for (int64_t i = 1; i < state.range(0); ++i) values += "," + std::to_string(i % 1000);
    lines.Add("integer b[" + std::to_string(state.range(0)) + "]");
    lines.Add(values);
    for (auto _ : state) {
        TDVContext root;
        root.LoadFromStrings(&lines, 0, -1);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

}  // namespace

BENCHMARK(BM_OneStatementOfManyValues)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Load)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Write)->Unit(benchmark::kMillisecond);
