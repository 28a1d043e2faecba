// krv5316-check as the production line runs it: exit status, reports, messages.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <sys/wait.h>

namespace {

namespace fs = std::filesystem;

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

std::string Slurp(const fs::path &path) {
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

class CheckProgram : public ::testing::Test {
  protected:
    fs::path dir = fs::temp_directory_path() /
                   ("krv5316-check-test-" + std::to_string(::getpid()) + "-" +
                    ::testing::UnitTest::GetInstance()->current_test_info()->name());

    void SetUp() override { fs::create_directories(dir); }
    void TearDown() override { fs::remove_all(dir); }

    // Runs the program on the simulated cards given; a short run time keeps the
    // suite quick, at the price of no signal seen on the slowest inputs.
    Outcome run(const std::string &cards, const std::string &args) {
        const std::string command = "OX9162_SIM_CARDS='" + cards + "' '" KRV5316_CHECK +
                                    std::string("' --run-time 300 ") + args + " >'" +
                                    (dir / "out").string() + "' 2>'" + (dir / "err").string() +
                                    "' </dev/null";
        const int raw = std::system(command.c_str());
        Outcome result;
        result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        result.out = Slurp(dir / "out");
        result.err = Slurp(dir / "err");
        return result;
    }
};

TEST_F(CheckProgram, HealthyCardsPassWithStatusZeroAndASummary) {
    const Outcome r = run("0123@2/13;0456@3/5;0123@4/2", "--loopback");
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("Card 1 at 2/13"), std::string::npos);
    EXPECT_NE(r.out.find("Card 2 at 4/2"), std::string::npos);
    EXPECT_NE(r.out.find("\nSummary: 2 cards checked, 2 passed, 0 failed\n"), std::string::npos);
    EXPECT_EQ(r.err, "") << "no progress output when stderr is no terminal";
}

TEST_F(CheckProgram, AFailingCardGivesStatusOneAndNamesItsStep) {
    const Outcome r = run("0123@2/13;0123@4/2:deadcnt=20", "");
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    EXPECT_NE(r.out.find("Verdict: FAIL at step count"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("CNT20"), std::string::npos);
    EXPECT_NE(r.out.find("Summary: 2 cards checked, 1 passed, 1 failed"), std::string::npos);
}

TEST_F(CheckProgram, OneCardByPositionOrByNumber) {
    const std::string cards = "0123@2/13;0123@4/2:nodone";
    const Outcome byPosition = run(cards, "--card 2/13");
    EXPECT_EQ(byPosition.status, 0) << byPosition.out << byPosition.err;
    EXPECT_EQ(byPosition.out.find("4/2"), std::string::npos);
    const Outcome byNumber = run(cards, "--card 2");
    EXPECT_EQ(byNumber.status, 1);
    EXPECT_NE(byNumber.out.find("Card 2 at 4/2"), std::string::npos);
    EXPECT_NE(byNumber.out.find("Verdict: FAIL at step download"), std::string::npos);
}

TEST_F(CheckProgram, NothingToCheckGivesStatusTwoWithAMessage) {
    struct Case {
        const char *cards;
        const char *args;
        const char *message;
    };
    const Case cases[] = {
        {"fail", "", "Chyba volání knihovny ZOVAK_OX9162"},
        {"throw", "", "Chyba volání knihovny ZOVAK_OX9162"},
        {"", "", "Nenalezena žádná karta ZOVAK"},
        {"0456@3/5", "", "no KRV-5316 card found"},
        {"0123@2/13", "--card 9/9", "no KRV-5316 card at position 9/9"},
        {"0123@2/13", "--card 2", "no card 2: 1 KRV-5316 card(s) found"},
        {"0123@2/13", "--card x", "--card takes BUS/SLOT or a card number"},
        {"0123@2/13", "--json", "--json needs a value"},
        {"0123@2/13", "--frobnicate", "unknown argument '--frobnicate'"},
    };
    for (const Case &c : cases) {
        const Outcome r = run(c.cards, c.args);
        EXPECT_EQ(r.status, 2) << c.cards << " " << c.args;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "") << c.cards << " " << c.args;
    }
}

TEST_F(CheckProgram, JsonAndJUnitReportsCarryEveryStep) {
    const fs::path json = dir / "report.json";
    const fs::path junit = dir / "report.xml";
    const Outcome r = run("0123@2/13:version=11",
                          "--json '" + json.string() + "' --junit '" + junit.string() + "'");
    EXPECT_EQ(r.status, 1) << r.err;
    const std::string j = Slurp(json);
    EXPECT_NE(j.find("\"position\": \"2/13\""), std::string::npos) << j;
    EXPECT_NE(j.find("\"firmware_version\": \"1.1\""), std::string::npos);
    EXPECT_NE(j.find("\"verdict\": \"fail\""), std::string::npos);
    EXPECT_NE(j.find("\"name\": \"version\", \"outcome\": \"fail\", \"expected\": \"1.2\""),
              std::string::npos);
    EXPECT_NE(j.find("\"timestamp\": \"20"), std::string::npos);
    EXPECT_NE(j.find("\"summary\": {\"checked\": 1, \"passed\": 0, \"failed\": 1}"),
              std::string::npos);
    const std::string x = Slurp(junit);
    EXPECT_NE(x.find("<testsuite name=\"KRV-5316 2/13\" tests=\"9\" failures=\"1\" skipped=\"0\""),
              std::string::npos)
        << x;
    EXPECT_NE(x.find("name=\"3 version\""), std::string::npos);
    EXPECT_NE(x.find("<failure message=\"1.1\">expected: 1.2"), std::string::npos);
}

TEST_F(CheckProgram, UnwritableReportIsAnError) {
    const Outcome r = run("0123@2/13", "--json /nonexistent-dir/report.json");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("cannot write /nonexistent-dir/report.json"), std::string::npos);
}

TEST_F(CheckProgram, HelpExplainsExitStatuses) {
    const Outcome r = run("0123@2/13", "--help");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("Exit status: 0"), std::string::npos);
    EXPECT_NE(r.out.find("--loopback"), std::string::npos);
}

} // namespace
