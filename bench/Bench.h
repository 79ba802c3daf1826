// The benchmark registry: each bench_<name>.cpp registers one subcommand of ombrix-bench.
// Figures are printed as "name: value unit" lines.
#pragma once

#include <cstdio>
#include <string>

using BenchFunction = int (*)(int argc, char** argv);

struct BenchRegistration
{
    BenchRegistration(const char* name, const char* help, BenchFunction function);
};

void PrintFigure(const char* name, double value, const char* unit);

#define OMBRIX_BENCH(name, help)                                                                   \
    static int Bench_##name(int argc, char** argv);                                                \
    static BenchRegistration s_register_##name(#name, help, &Bench_##name);                        \
    static int Bench_##name(int argc, char** argv)
