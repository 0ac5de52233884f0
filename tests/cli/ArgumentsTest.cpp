#include <gtest/gtest.h>

#include "cli/Arguments.h"

namespace zv::cli {
namespace {

TParseResult Parse(std::vector<std::string> arguments) { return ParseArguments(arguments); }

TEST(Arguments, CommandsAndTheirOptions) {
    const TParseResult write = Parse({"write", "--image", "a.eraw", "--start-app", "--serial", "5500250",
                                      "--serial=0701", "--serial", "5500250", "--log-dir=logs", "--report", "r.json"});
    ASSERT_TRUE(write.Ok()) << write.error;
    EXPECT_EQ(write.options.command, TCommand::Write);
    EXPECT_EQ(write.options.image, "a.eraw");
    EXPECT_TRUE(write.options.startApp);
    EXPECT_EQ(write.options.serials, (std::vector<int32_t>{5500250, 701}));  // each once
    EXPECT_EQ(write.options.logDir, "logs");
    EXPECT_EQ(write.options.report, "r.json");

    const TParseResult watch = Parse({"watch", "--image=--odd.eraw"});
    ASSERT_TRUE(watch.Ok()) << watch.error;
    EXPECT_EQ(watch.options.command, TCommand::Watch);
    EXPECT_EQ(watch.options.image, "--odd.eraw");
    EXPECT_FALSE(watch.options.startApp);

    const std::string sha(64, 'A');
    const TParseResult guarded = Parse({"watch", "--confirm", "--confirm-timeout", "2.25", "--retry=3",
                                        "--skip-current", "--expect-sha256", sha, "--records", "r.jsonl"});
    ASSERT_TRUE(guarded.Ok()) << guarded.error;
    EXPECT_TRUE(guarded.options.startApp) << "a confirmation needs the application started";
    EXPECT_EQ(guarded.options.confirmTimeout, std::chrono::milliseconds(2250));
    EXPECT_EQ(guarded.options.retries, 3);
    EXPECT_TRUE(guarded.options.skipCurrent);
    EXPECT_EQ(guarded.options.expectSha256, std::string(64, 'a'));
    EXPECT_EQ(guarded.options.records, "r.jsonl");
    EXPECT_EQ(Parse({"write", "--confirm"}).options.confirmTimeout, std::chrono::seconds(5));
    EXPECT_TRUE(Parse({"list", "--json"}).options.json);

    EXPECT_EQ(Parse({"list", "--log-dir", "x"}).options.command, TCommand::List);
    EXPECT_TRUE(Parse({"watch", "--log"}).options.log);
    EXPECT_EQ(Parse({"--help"}).options.command, TCommand::Help);
    EXPECT_EQ(Parse({"write", "--bogus", "-h"}).options.command, TCommand::Help);
    EXPECT_EQ(Parse({"--version"}).options.command, TCommand::Version);
}

TEST(Arguments, Refusals) {
    const std::vector<std::vector<std::string>> refused = {
        {},
        {"flash"},
        {"write", "extra"},
        {"write", "--imag", "a.eraw"},
        {"write", "--image"},
        {"write", "--image", "--start-app"},  // a forgotten value, not a file
        {"write", "--image="},
        {"write", "--image", "a", "--image", "b"},
        {"write", "--start-app=yes"},
        {"write", "--serial", "55OO250"},
        {"write", "--serial", "-5"},
        {"write", "--serial", "+5"},
        {"write", "--serial", "99999999999"},
        {"watch", "--serial", "5"},
        {"write", "--log", "--log-dir", "x"},
        {"list", "--log=x"},
        {"list", "--image", "a.eraw"},
        {"list", "--report", "r.json"},
        {"list", "--start-app"},
        {"write", "--json"},
        {"list", "--records", "r.jsonl"},
        {"write", "--expect-sha256", std::string(63, 'a')},
        {"write", "--expect-sha256", std::string(63, 'a') + "g"},
        {"write", "--confirm-timeout", "5"},  // without --confirm
        {"write", "--confirm", "--confirm-timeout", "0"},
        {"write", "--confirm", "--confirm-timeout", "1.2345"},
        {"write", "--confirm", "--confirm-timeout", "-1"},
        {"write", "--confirm", "--confirm-timeout", "3601"},
        {"write", "--retry", "11"},
        {"write", "--retry", "x"},
        {"write", "--retry", "-1"},
    };
    for (const auto& arguments : refused) {
        std::string joined;
        for (const auto& a : arguments) joined += a + " ";
        EXPECT_FALSE(Parse(arguments).Ok()) << joined;
    }
}

}  // namespace
}  // namespace zv::cli
