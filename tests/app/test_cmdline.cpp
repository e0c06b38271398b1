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
    EXPECT_TRUE(ParseCommandLine({"--version"}).version);
}
