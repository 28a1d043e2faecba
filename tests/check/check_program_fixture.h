// krv5316-check run as the production line runs it, and its reports read back: the
// fixture that the program's tests share.
#pragma once

#include "shell_run.h"
#include "test_paths.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using nlohmann::json;

// The JUnit file as parsed by Python's XML parser: {tag, attrib, text, children}.
inline json ParseJUnit(const fs::path &xml, const fs::path &dir) {
    const ShellRun parsed = RunShell(std::string(TestPath("PYTHON3")) + " '" +
                                         TestPath("JUNIT_TO_JSON") + "' '" + xml.string() + "'",
                                     dir);
    EXPECT_EQ(parsed.status, 0) << parsed.err << FileText(xml);
    return json::parse(parsed.out);
}

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

class CheckProgram : public ::testing::Test {
  protected:
    fs::path dir = fs::temp_directory_path() /
                   ("krv5316-check-test-" + std::to_string(::getpid()) + "-" +
                    ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::path jsonPath = dir / "report.json";
    fs::path junitPath = dir / "report.xml";

    void SetUp() override { fs::create_directories(dir); }
    void TearDown() override { fs::remove_all(dir); }

    // Runs the program on the simulated cards given; a short run time keeps the
    // suite quick, at the price of no signal seen on the slowest inputs.
    ShellRun run(const std::string &cards, const std::string &args, const std::string &out = "",
                 const std::string &environment = "") {
        const std::string runTime =
            args.find("--run-time") == std::string::npos ? " --run-time 300 " : " ";
        return RunShell(environment + " OX9162_SIM_CARDS='" + cards + "' '" +
                            TestPath("KRV5316_CHECK") + "'" + runTime + args,
                        dir, out);
    }
    json junitReport() { return ParseJUnit(junitPath, dir); }
    json jsonReport() { return json::parse(FileText(jsonPath)); }
    std::string reports() {
        return " --json '" + jsonPath.string() + "' --junit '" + junitPath.string() + "'";
    }
};

inline const json &StepOf(const json &card, const std::string &name) {
    for (const json &step : card["steps"]) {
        if (step["name"] == name) {
            return step;
        }
    }
    throw std::runtime_error("no step " + name);
}
