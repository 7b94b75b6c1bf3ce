#pragma once
// The files the benchmarks work on live in bench/data/, which git ignores: bench/make_bench_data.sh
// makes them (screenshots of a private X desktop). A missing file is reported with that advice.
#include <cstdio>
#include <fstream>
#include <string>

#include "imaging/image_types.h"

inline std::string BenchDataPath(const std::string& name) {
    return std::string(LANYING_SOURCE_DIR) + "/bench/data/" + name;
}

// The whole file, or an empty array (with a message on stderr) when it cannot be read.
inline ByteArray LoadBenchData(const std::string& name) {
    const std::string path = BenchDataPath(name);
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "%s is missing: run bench/make_bench_data.sh\n", path.c_str());
        return {};
    }
    in.seekg(0, std::ios::end);
    ByteArray data(std::size_t(in.tellg()));
    in.seekg(0);
    in.read(reinterpret_cast<char*>(data.data()), std::streamsize(data.size()));
    return data;
}
