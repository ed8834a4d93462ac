// SPDX-License-Identifier: LGPL-2.1-or-later
//
// The main of a fuzz target outside libFuzzer: runs the target's check once
// over every file named and every file of every folder named, in name
// order, from inside the run's work folder. A failed check ends the program
// as it ends a fuzzing run, after the file's name has been written; an
// empty corpus fails too.

#include "FuzzSupport.h"

#include <QtGlobal>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

int main(int argc, char *argv[])
{
    namespace fs = std::filesystem;
    std::vector<fs::path> inputs;
    for (int i = 1; i < argc; ++i) {
        if (!fs::is_directory(argv[i])) {
            inputs.push_back(fs::absolute(argv[i]));
            continue;
        }
        for (const fs::directory_entry &entry : fs::directory_iterator(argv[i]))
            if (entry.is_regular_file())
                inputs.push_back(fs::absolute(entry.path()));
    }
    std::sort(inputs.begin(), inputs.end());
    if (inputs.empty()) {
        std::fprintf(stderr, "usage: %s FILE|FOLDER... (no input found)\n", argv[0]);
        return 2;
    }
    // Nothing of a test reaches the folder it was started in.
    fs::current_path(VelaFuzz::WorkFolder().toStdString());
    // Every input takes its target's full check.
    qputenv("VELA_FUZZ_FULL_CHECKS", "1");

    for (const fs::path &input : inputs) {
        std::fprintf(stderr, "%s\n", input.string().c_str());
        std::ifstream file(input, std::ios::binary);
        std::vector<char> bytes(fs::file_size(input));
        if (!file.read(bytes.data(), std::streamsize(bytes.size()))) {
            std::fprintf(stderr, "cannot read %s\n", input.string().c_str());
            return 2;
        }
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size());
    }
    std::fprintf(stderr, "%zu inputs replayed\n", inputs.size());
    return 0;
}
