// Comparison of a transcript with the checked-in one (VELMO_UPDATE_TRANSCRIPTS=1 rewrites it).
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>
#include <sstream>
#include <string>

namespace velmo::manager::test {

// Compares the transcript with transcripts/<name>.txt beside this file.
inline void ExpectTranscript(const std::string& name, const std::string& text) {
    const std::string path = std::string(VELMO_TRANSCRIPT_DIR) + "/" + name + ".txt";
    const char* update = getenv("VELMO_UPDATE_TRANSCRIPTS");
    if (update != nullptr && std::string(update) == "1") {
        std::ofstream(path, std::ios::binary) << text;
        return;
    }
    std::ifstream in(path, std::ios::binary);
    ASSERT_TRUE(in.good()) << "missing " << path << " (run with VELMO_UPDATE_TRANSCRIPTS=1)";
    std::stringstream expected;
    expected << in.rdbuf();
    EXPECT_EQ(expected.str(), text) << "transcript " << name << " differs";
}

}  // namespace velmo::manager::test
