// krv5316-check as the production line runs it: exit status, reports, messages.
#include "card_check.h"
#include "check_program_fixture.h"
#include "library_throws.h"
#include "ox_version.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace {

using Outcome = ProcessRun;

TEST_F(CheckProgram, HealthyCardsPassWithStatusZeroAndASummary) {
    // The least run time the check accepts still judges healthy cards.
    const Outcome r = run("0123@2/13;0456@3/5;0123@4/2",
                          {"--loopback", "--run-time", std::to_string(kLeastRunTime.count())});
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("Card 1 at 2/13"), std::string::npos);
    EXPECT_NE(r.out.find("Card 2 at 4/2"), std::string::npos);
    EXPECT_NE(r.out.find("\nSummary: 2 cards checked, 2 passed, 0 failed\n"), std::string::npos);
    EXPECT_EQ(r.err, "") << "no progress output when stderr is no terminal";
}

TEST_F(CheckProgram, AFailingCardGivesStatusOneAndNamesItsStep) {
    const Outcome r = run("0123@2/13;0123@4/2:deadcnt=20", {});
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    EXPECT_NE(r.out.find("Verdict: FAIL at step count"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("CNT20"), std::string::npos);
    EXPECT_NE(r.out.find("Summary: 2 cards checked, 1 passed, 1 failed"), std::string::npos);
}

TEST_F(CheckProgram, OneCardByPositionOrByNumber) {
    const std::string cards = "0123@2/13;0123@4/2:nodone";
    const Outcome byPosition = run(cards, {"--card", "2/13"});
    EXPECT_EQ(byPosition.status, 0) << byPosition.out << byPosition.err;
    EXPECT_EQ(byPosition.out.find("4/2"), std::string::npos);
    const Outcome byNumber = run(cards, {"--card=2"});
    EXPECT_EQ(byNumber.status, 1);
    EXPECT_NE(byNumber.out.find("Card 2 at 4/2"), std::string::npos);
    EXPECT_NE(byNumber.out.find("Verdict: FAIL at step download"), std::string::npos);
}

// Arguments (with @ for the test's folder), and the message each gives.
using WrongArguments = std::pair<std::vector<std::string>, std::string>;

// Each exits 2 with its message on standard error and nothing on standard output.
void ExpectWrongArguments(CheckProgram &test, const std::vector<WrongArguments> &cases);

TEST_F(CheckProgram, WrongArgumentsGiveStatusTwoAndSayWhy) {
    const std::vector<WrongArguments> cases = {
        {{"--card", "x"}, "--card takes BUS/SLOT or a card number"},
        {{"--card", "1\n\x1b"
                    "2"},
         "not '1\\n\\x1b2'"},
        {{"--json"}, "--json needs a value"},
        {{"--frobnicate"}, "unknown argument '--frobnicate'"},
        {{"--=x"}, "unknown argument '--=x'"},
        {{"-hv"}, "unknown argument '-hv'"},
        {{"--property", "a b=1"}, "--property takes NAME=VALUE"},
        {{"--property", "x=1", "--property", "x=2"}, "--property x given more than once"},
        {{"--run-time", "200"}, "--run-time takes milliseconds from 201 to 600000, not '200'"},
        {{"--card", "1", "--card", "4/2"}, "--card given more than once"},
        {{"--json", ""}, "--json needs a file name, not an empty one"},
        {{"--json", "r.json", "--junit", "./r.json"}, "--json and --junit name the same file"},
        {{"--json=@h.json", "--junit=@hard.json"}, "--json and --junit name the same file"},
        {{"--loopback=yes"}, "--loopback takes no value"},
        {{"--j", "r.json"}, "--j is ambiguous: --json --junit"},
        {{"--tolerance", "1"}, "--tolerance needs --expect-hz"},
        {{"--expect-hz", "1,2,3"}, "--expect-hz takes one rate in Hz or 24"},
        {{"--", "2/13"}, "unexpected argument '2/13'"},
    };
    // One file by another name: a hard link.
    std::ofstream(dir / "h.json") << "{}";
    fs::create_hard_link(dir / "h.json", dir / "hard.json");
    ExpectWrongArguments(*this, cases);
}

// One file by other names: a link to a report not written yet, a link to the folder.
TEST_F(CheckProgram, LinksToOneFileAreTheSameReport) {
    try {
        fs::create_symlink("r.json", dir / "link.json");
        fs::create_directory_symlink(".", dir / "up");
    } catch (const fs::filesystem_error &error) {
        GTEST_SKIP() << "no symbolic links here (Wine has none): " << error.what();
    }
    ExpectWrongArguments(*this, {
                                    {{"--json", "@r.json", "--junit", "@link.json"},
                                     "--json and --junit name the same file"},
                                    {{"--json", "@up/r.json", "--junit", "@r.json"},
                                     "--json and --junit name the same file"},
                                });
}

void ExpectWrongArguments(CheckProgram &test, const std::vector<WrongArguments> &cases) {
    for (const auto &[row, message] : cases) {
        std::vector<std::string> args;
        std::string shown;
        for (const std::string &arg : row) {
            args.push_back(std::regex_replace(arg, std::regex("@"), (test.dir / "").string()));
            shown += " " + args.back();
        }
        const Outcome r = test.run("0123@2/13", args);
        EXPECT_EQ(r.status, 2) << shown;
        EXPECT_NE(r.err.find(message), std::string::npos) << shown << ": " << r.err;
        EXPECT_EQ(r.out, "") << shown;
    }
}

struct NothingChecked {
    std::string cards;
    std::vector<std::string> args;
    std::string kind, message;
};

// Each run exits 2 with the message, and both reports say why, in the kind of error.
void ExpectNothingChecked(CheckProgram &test, const std::vector<NothingChecked> &cases);

TEST_F(CheckProgram, NothingCheckedGivesStatusTwoAndStillWritesBothReports) {
    // Cards of another model before a KRV-5316 hide it from the card table from 17 on.
    const auto others = [](int count) {
        std::string cards;
        for (int n = 0; n < count; ++n) {
            cards += "0456@1/1;";
        }
        return cards;
    };
    const std::string unseen = "the driver library reported 18 cards and only the first 16";
    ExpectNothingChecked(
        *this,
        {
            {"fail", {}, "library", "the driver library failed to list the cards"},
            {"", {}, "no_card", "the driver library reports no card of the maker"},
            {"0456@3/5", {}, "no_card", "no KRV-5316 card found (1 other card(s) of the maker)"},
            {"0123@2/13", {"--card", "9/9"}, "selection", "no KRV-5316 card at position 9/9"},
            {others(17) + "0123@2/13", {}, "no_card", unseen},
            {"0123@3/3;" + others(16) + "0123@2/13",
             {"--card", "2/13"},
             "selection",
             "2/13 (" + unseen},
            {"0123@2/13", {"--card", "2"}, "selection", "no card 2: 1 KRV-5316 card(s) found"},
            {"0123@2/13", {"--expect-hz", "10"}, "run_time", "it needs --run-time 100100 or more"},
        });
}

TEST_F(CheckProgram, ALibraryThatRaisesIsALibraryErrorWithItsMessage) {
    OX_SKIP_IF_THROW_CANNOT_CROSS();
    ExpectNothingChecked(
        *this, {
                   {"throw", {}, "library", "the driver library failed to list the cards"},
                   {"throw",
                    {},
                    "library",
                    "list the cards: OX9162_CardsInSystem: simulated driver failure"},
               });
}

void ExpectNothingChecked(CheckProgram &test, const std::vector<NothingChecked> &cases) {
    const fs::path trace = test.dir / "trace";
    for (const auto &[cards, args, kind, message] : cases) {
        SCOPED_TRACE(cards);
        fs::remove(trace);
        const Outcome r =
            test.run(cards, test.withReports(args), {"OX9162_SIM_TRACE=" + trace.string()});
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");

        const json report = test.jsonReport();
        EXPECT_EQ(report["error"]["kind"], kind);
        EXPECT_NE(report["error"]["message"].get<std::string>().find(message), std::string::npos);
        EXPECT_EQ(report["verdict"], "error");
        EXPECT_EQ(report["cards"], json::array());
        const json root = test.junitReport();
        ExpectConsistentTotals(root);
        EXPECT_EQ(Attribute(root, "errors"), 1u);
        const auto suites = Children(root, "testsuite");
        ASSERT_EQ(suites.size(), 1u);
        const auto error = Children(Children(suites[0], "testcase").at(0), "error").at(0);
        EXPECT_EQ(error["attrib"]["type"], "krv5316." + kind);
        if (kind == "run_time") {
            EXPECT_EQ(FileText(trace).find("call "), std::string::npos) << "no card touched";
        }
    }
}

// A card whose ID, bus or slot cannot be read is no absent card: it is named in every
// report with the call that failed, and the cards that could be read are still checked.
TEST_F(CheckProgram, ACardThatCannotBeReadKeepsTheRunFromPassing) {
    const std::string cases[][3] = {
        {"0123@2/13:nodid;0123@4/2", "OX9162_Card_DID", "1"},
        {"0123@2/13:noslot;0123@4/2", "OX9162_Card_SLOT", "1"},
        {"0123@2/13:nobus", "OX9162_Card_BUS", "0"},
    };
    for (const auto &[cards, call, checked] : cases) {
        SCOPED_TRACE(cards);
        const Outcome r = run(cards, reports());
        EXPECT_EQ(r.status, 2) << r.err;
        EXPECT_NE(r.out.find("Library card 0 not read: " + call + " returned 1"), std::string::npos)
            << r.out;
        const json report = jsonReport();
        EXPECT_EQ(report["error"]["kind"], "unreadable");
        EXPECT_EQ(report["unreadable_cards"],
                  json::parse(R"([{"library_number": 0, "call": ")" + call +
                              R"(", "status": 1, "exception": null}])"));
        EXPECT_EQ(report["cards"].size(), std::stoul(checked));
        const json root = junitReport();
        ExpectConsistentTotals(root);
        const auto tests = Children(Children(root, "testsuite").at(0), "testcase");
        EXPECT_EQ(Children(tests.at(0), "error").at(0)["attrib"]["message"], call + " returned 1");
    }
    // The user counts an unreadable card too: a place in the list names no card then.
    const Outcome byPlace = run("0123@2/13;0123@4/2:nodid;0123@5/1", withReports({"--card", "2"}));
    EXPECT_EQ(byPlace.status, 2);
    EXPECT_NE(byPlace.err.find("with --card BUS/SLOT (KRV-5316 cards at 2/13, 5/1)"),
              std::string::npos)
        << byPlace.err;
    EXPECT_EQ(jsonReport()["cards"], json::array());
    // Nor is a card beyond the table's last entry, which was never looked at.
    std::string cards = "0123@2/13";
    for (int n = 0; n < 16; ++n) {
        cards += ";0456@1/1";
    }
    const Outcome r = run(cards, reports());
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_NE(r.err.find("library card 16 not checked"), std::string::npos) << r.err;
    EXPECT_EQ(jsonReport()["error"]["kind"], "unseen");
    EXPECT_EQ(jsonReport()["cards"].size(), 1u);
}

TEST_F(CheckProgram, ReportsGiveTypedFiguresAndCITotals) {
    const Outcome r = run("0123@2/13:version=11;0123@4/2:hz=2000",
                          {"--json=" + jsonPath.string(), "--junit=" + junitPath.string()});
    EXPECT_EQ(r.status, 1) << r.err;

    const json report = jsonReport();
    EXPECT_EQ(report["version"], OxVersion);
    EXPECT_TRUE(report["host"].is_string());
    EXPECT_TRUE(std::regex_match(report["started"].get<std::string>(),
                                 std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ)")));
    EXPECT_EQ(report["options"]["run_time_ms"], 300);
    EXPECT_EQ(report["options"]["loopback"], false);
    EXPECT_EQ(report["firmware"]["bytes"], 59215);
    // The image's CRC-32 as another implementation computes it.
    EXPECT_EQ(FileCrc32(TestPath("FIRMWARE_IMAGE_FILE"), dir),
              report["firmware"]["crc32"].get<uint32_t>());
    EXPECT_EQ(report["summary"], (json{{"checked", 2}, {"passed", 1}, {"failed", 1}}));
    ASSERT_EQ(report["cards"].size(), 2u);
    const json &bad = report["cards"][0];
    EXPECT_EQ(bad["position"], "2/13");
    EXPECT_EQ(bad["bus"], 2);
    EXPECT_EQ(bad["firmware_version"], "1.1");
    EXPECT_EQ(bad["verdict"], "fail");
    const json &version = StepOf(bad, "version");
    EXPECT_EQ(version["outcome"], "fail");
    EXPECT_EQ(version["expected"], "1.2");
    EXPECT_EQ(version["figures"]["version_byte"], 0x11);
    EXPECT_TRUE(StepOf(bad, "download")["seconds"].is_number());
    const json &count = StepOf(report["cards"][1], "count")["figures"];
    ASSERT_EQ(count["rates_hz"].size(), 24u);
    EXPECT_GT(count["run_seconds"].get<double>(), 0.3 - 1e-9);
    for (const auto &rate : count["rates_hz"]) {
        EXPECT_NEAR(rate.get<double>(), 2000, 100); // a stalled process on a busy machine
    }
    EXPECT_EQ(count["inputs_with_signal"].size(), 24u);

    const json root = junitReport();
    ExpectConsistentTotals(root);
    EXPECT_EQ(Attribute(root, "tests"), 18u);
    EXPECT_EQ(Attribute(root, "failures"), 1u);
    const auto suites = Children(root, "testsuite");
    ASSERT_EQ(suites.size(), 2u);
    EXPECT_EQ(suites[0]["attrib"]["name"], "krv5316.card_2_13");
    EXPECT_EQ(suites[1]["attrib"]["name"], "krv5316.card_4_2");
    const auto failure = Children(Children(suites[0], "testcase").at(2), "failure").at(0);
    EXPECT_EQ(failure["attrib"]["type"], "krv5316.version");
    EXPECT_EQ(failure["attrib"]["message"], "1.1");
}

TEST_F(CheckProgram, RateCheckNamesTheCounterOffItsRateInEveryReport) {
    const Outcome r =
        run("0123@2/13:hz=10000,hz=4@9000", withReports({"--expect-hz", "10000", "--tolerance=8"}));
    EXPECT_EQ(r.status, 1) << r.err;
    // CNT4 alone is named, with its measured and its expected rate.
    const std::regex offRate(R"(rate off: CNT4 at \d+ Hz, expected 10000 Hz)");
    EXPECT_TRUE(std::regex_search(
        r.out, std::regex(R"(5 count +fail +rate off: CNT4 at \d+ Hz, expected 10000 Hz \()")))
        << r.out;
    EXPECT_NE(r.out.find("rates in Hz over"), std::string::npos) << r.out;

    const json report = jsonReport();
    EXPECT_EQ(report["options"]["tolerance_pct"], 8.0);
    const json &count = StepOf(report["cards"][0], "count");
    EXPECT_EQ(count["outcome"], "fail");
    EXPECT_EQ(count["figures"]["expected_hz"], json(std::vector<double>(24, 10000)));
    const auto &rates = count["figures"]["rates_hz"];
    for (unsigned n = 0; n < 24; ++n) {
        EXPECT_NEAR(rates[n].get<double>(), n == 4 ? 9000 : 10000, 500) << n;
    }

    const auto cases = Children(Children(junitReport(), "testsuite").at(0), "testcase");
    const json &countCase = cases.at(4);
    EXPECT_EQ(countCase["attrib"]["name"], "5 count");
    EXPECT_TRUE(std::regex_match(
        Children(countCase, "failure").at(0)["attrib"]["message"].get<std::string>(), offRate));
    const std::string out = Children(countCase, "system-out").at(0)["text"];
    std::smatch rateLine;
    ASSERT_TRUE(std::regex_search(out, rateLine, std::regex("rates_hz: ([^\n]*)")));
    std::istringstream values(rateLine[1].str());
    std::vector<double> parsed{std::istream_iterator<double>(values), {}};
    ASSERT_EQ(parsed.size(), 24u);
    EXPECT_NEAR(parsed[4], 9000, 500);
}

TEST_F(CheckProgram, AReportInNoFolderIsStatusTwoWithTheSystemsReason) {
    const Outcome r = run("0123@2/13", {"--json", "/nonexistent-dir/report.json"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("cannot write /nonexistent-dir/report.json: No such file or directory"),
              std::string::npos)
        << r.err;
}

TEST_F(CheckProgram, LostOutputOrReportIsStatusTwoWithTheSystemsReason) {
    if (kOnWindows) {
        GTEST_SKIP() << "no device of Windows is always full as /dev/full is: NUL takes all";
    }
    const std::tuple<std::vector<std::string>, fs::path, std::string> cases[] = {
        {{}, "/dev/full", "cannot write to standard output: No space left on device"},
        {{"--junit", "/dev/full"}, "", "cannot write /dev/full: No space left on device"},
    };
    for (const auto &[args, out, message] : cases) {
        const Outcome r = run("0123@2/13", args, {}, out);
        EXPECT_EQ(r.status, 2) << message;
        EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
    }
    EXPECT_EQ(run("", {"--version"}, {}, "/dev/full").status, 2);
}

// Where a report was made goes into every form, escaped as each form needs it.
TEST_F(CheckProgram, PropertiesSayInEveryReportWhereItWasMade) {
    const Outcome r =
        run("0123@2/13",
            withReports({"--property", "station=L3-07", "--property", "operator=J <N> & \x1bx"}));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("\nProperty station: L3-07\nProperty operator: J <N> & \\x1bx\n"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(jsonReport()["properties"],
              (json{{"station", "L3-07"}, {"operator", "J <N> & \x1bx"}}));
    const json suite = Children(junitReport(), "testsuite").at(0);
    const auto properties = Children(Children(suite, "properties").at(0), "property");
    EXPECT_EQ(properties.at(1)["attrib"]["value"], "J <N> & ?x");
}

// Names beyond ASCII reach the check as given, whatever the system's code page: a report's
// folder and file, and a property, here with no card to check.
TEST_F(CheckProgram, NamesBeyondAsciiReachEveryReportAsGiven) {
    fs::create_directory(dir / fs::path(u8"Zkoušky"));
    const std::string name = "Zkoušky/přehled.json", who = "Jiří Šťastný";
    const Outcome r = run("fail", {"--json", name, "--property", "operator=" + who});
    EXPECT_EQ(r.status, 2) << r.err;
    const json report = json::parse(FileText(dir / fs::path(u8"Zkoušky/přehled.json")));
    EXPECT_EQ(report["options"]["json"], name);
    EXPECT_EQ(report["properties"]["operator"], who);
}

TEST_F(CheckProgram, HelpAndVersion) {
    const Outcome help = run("0123@2/13", {"--help"});
    EXPECT_EQ(help.status, 0);
    // The one text of the options, limits and statuses: the documents quote it whole.
    std::ostringstream quoted;
    quoted << std::ifstream(TestPath("CHECK_HELP_FILE")).rdbuf();
    EXPECT_EQ(help.out, quoted.str())
        << "regenerate it: krv5316-check --help > docs/krv5316-check-help.txt";
    EXPECT_NE(help.out.find("from " + std::to_string(kLeastRunTime.count()) + " to " +
                            std::to_string(kMostRunTime.count())),
              std::string::npos);
    const Outcome version = run("", {"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, std::string("krv5316-check ") + OxVersion + "\n");
}

} // namespace
