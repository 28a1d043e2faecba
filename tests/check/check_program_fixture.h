// krv5316-check run as the production line runs it, and its reports read back: the
// fixture that the program's tests share.
#pragma once

#include "process_run.h"
#include "test_paths.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using nlohmann::json;

#ifdef _WIN32
inline constexpr bool kOnWindows = true;
#else
inline constexpr bool kOnWindows = false;
#endif

// Read back by another implementation than the check's: Python's on Linux
// (independent_reading_posix.cpp), Windows' own on Windows (independent_reading_windows.cpp).
// The JUnit file as an XML parser reads it: {tag, attrib, text, children}.
json ParseJUnit(const fs::path &xml, const fs::path &dir);
// The CRC-32 of a file.
std::uint32_t FileCrc32(const fs::path &file, const fs::path &dir);

inline std::vector<json> Children(const json &element, const std::string &tag) {
    std::vector<json> found;
    for (const json &child : element["children"]) {
        if (child["tag"] == tag) {
            found.push_back(child);
        }
    }
    return found;
}

inline unsigned Attribute(const json &element, const std::string &name) {
    return static_cast<unsigned>(std::stoul(element["attrib"].at(name).get<std::string>()));
}

// Totals on <testsuites> and each <testsuite> must be those of the test cases inside.
inline void ExpectConsistentTotals(const json &root) {
    ASSERT_EQ(root["tag"], "testsuites");
    const char *const totals[] = {"tests", "failures", "errors", "skipped"};
    const char *const kinds[] = {"testcase", "failure", "error", "skipped"};
    unsigned all[4] = {};
    for (const json &suite : Children(root, "testsuite")) {
        for (const char *name : {"name", "time", "timestamp", "hostname"}) {
            EXPECT_TRUE(suite["attrib"].contains(name)) << name;
        }
        unsigned counts[4] = {};
        for (const json &test : Children(suite, "testcase")) {
            EXPECT_EQ(test["attrib"]["classname"], suite["attrib"]["name"]);
            ++counts[0];
            for (int k = 1; k < 4; ++k) {
                for (const json &fault : Children(test, kinds[k])) {
                    ++counts[k];
                    EXPECT_TRUE(k == 3 || (fault["attrib"].value("type", "") != "" &&
                                           fault["attrib"].value("message", "") != ""))
                        << kinds[k] << " without a type or message";
                }
            }
        }
        for (int k = 0; k < 4; ++k) {
            EXPECT_EQ(Attribute(suite, totals[k]), counts[k]) << totals[k];
            all[k] += counts[k];
        }
    }
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(Attribute(root, totals[k]), all[k]) << totals[k];
    }
    EXPECT_TRUE(root["attrib"].contains("time"));
}

// Public: a test's helpers take the fixture.
class CheckProgram : public ::testing::Test {
  public:
    fs::path dir = fs::temp_directory_path() /
                   ("krv5316-check-test-" + std::to_string(std::random_device()()) + "-" +
                    ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::path jsonPath = dir / "report.json";
    fs::path junitPath = dir / "report.xml";

    void SetUp() override { fs::create_directories(dir); }
    void TearDown() override { fs::remove_all(dir); }

    // Runs the program in dir on the simulated cards given; a short run time keeps the
    // suite quick, at the price of no signal seen on the slowest inputs.
    ProcessRun run(const std::string &cards, std::vector<std::string> args,
                   std::vector<std::string> environment = {}, const fs::path &out = {}) {
        if (std::find(args.begin(), args.end(), "--run-time") == args.end()) {
            args.insert(args.begin(), {"--run-time", "300"});
        }
        environment.push_back("OX9162_SIM_CARDS=" + cards);
        return RunProcess({.program = TestPath("KRV5316_CHECK"),
                           .arguments = args,
                           .environment = environment,
                           .dir = dir,
                           .out = out});
    }
    json junitReport() { return ParseJUnit(junitPath, dir); }
    json jsonReport() { return json::parse(FileText(jsonPath)); }
    std::vector<std::string> reports() {
        return {"--json", jsonPath.string(), "--junit", junitPath.string()};
    }
    // The arguments given, then both reports.
    std::vector<std::string> withReports(std::vector<std::string> args) {
        const std::vector<std::string> both = reports();
        args.insert(args.end(), both.begin(), both.end());
        return args;
    }
};

// Polls `done` every 20 ms; false if `seconds` pass first.
template <class Done> bool Within(int seconds, Done done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    for (; !done(); std::this_thread::sleep_for(std::chrono::milliseconds(20))) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
    }
    return true;
}

inline const json &StepOf(const json &card, const std::string &name) {
    for (const json &step : card["steps"]) {
        if (step["name"] == name) {
            return step;
        }
    }
    throw std::runtime_error("no step " + name);
}
