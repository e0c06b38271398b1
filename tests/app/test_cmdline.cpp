#include "app/cmdline.h"

#include <gtest/gtest.h>

using namespace zol;

TEST(CommandLine, DefaultsOptionsAndErrors)
{
    TOptions none = ParseCommandLine({});
    EXPECT_TRUE(none.error.isEmpty());
    EXPECT_EQ(none.input, "default");
    EXPECT_EQ(none.mixer, "default");
    EXPECT_LT(none.duration, 0);

    TOptions sim = ParseCommandLine({"--input", "sim", "--headless", "--fast", "--duration=120",
                                     "--workdir", "/tmp/x", "--calibrate"});
    EXPECT_TRUE(sim.error.isEmpty()) << sim.error.toStdString();
    EXPECT_EQ(sim.mixer, "sim");  // the simulated card comes with the simulated receiver
    EXPECT_TRUE(sim.headless && sim.fast && sim.calibrate);
    EXPECT_EQ(sim.duration, 120);
    EXPECT_EQ(sim.workdir, "/tmp/x");

    EXPECT_EQ(ParseCommandLine({"--input", "sim", "--mixer", "hw:1"}).mixer, "hw:1");
    EXPECT_TRUE(ParseCommandLine({"--input", "rec.WAV", "--fast"}).error.isEmpty());
    EXPECT_FALSE(ParseCommandLine({"--fast"}).error.isEmpty());  // not with a sound card
    EXPECT_FALSE(ParseCommandLine({"--duration", "soon"}).error.isEmpty());
    EXPECT_FALSE(ParseCommandLine({"--duration", "-3"}).error.isEmpty());
    EXPECT_FALSE(ParseCommandLine({"--input"}).error.isEmpty());
    EXPECT_FALSE(ParseCommandLine({"--bogus"}).error.isEmpty());
    EXPECT_FALSE(ParseCommandLine({"--headless=yes"}).error.isEmpty());
    EXPECT_TRUE(ParseCommandLine({"--help"}).help);

    // Durations that are no finite number of seconds in range are refused,
    // with the bounds in the message; the rest are taken as they are.
    for (const char* bad : {"nan", "NaN", "inf", "-inf", "infinity", "1e309", "99999999999999999999", "1e-9", "0",
                            "0.0009", "1e10", "", " ", "12s", "0x10"}) {
        const TOptions o = ParseCommandLine({"--duration", bad});
        EXPECT_TRUE(o.error.contains("from 0.001 to 1000000000")) << bad << ": " << o.error.toStdString();
    }
    for (auto [text, seconds] : {std::pair{"0.001", 0.001}, {"2.5", 2.5}, {"86400", 86400.0}, {"1e9", 1e9}}) {
        const TOptions o = ParseCommandLine({"--duration", text});
        EXPECT_TRUE(o.error.isEmpty()) << text;
        EXPECT_EQ(o.duration, seconds);
    }
    EXPECT_TRUE(ParseCommandLine({"--version"}).version);
}
