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

TEST(CommandLine, BandRecordingAndSnapshots)
{
    const TOptions none = ParseCommandLine({});
    EXPECT_EQ(none.band, bd550_750);
    EXPECT_FALSE(none.record);
    EXPECT_EQ(none.snapshotEvery, 0);

    const TOptions o = ParseCommandLine({"--input", "sim", "--band", "700-900", "--record", "--snapshot-every=15"});
    EXPECT_TRUE(o.error.isEmpty()) << o.error.toStdString();
    EXPECT_EQ(o.band, bd700_900);
    EXPECT_TRUE(o.record);
    EXPECT_EQ(o.snapshotEvery, 15);
    EXPECT_EQ(ParseCommandLine({"--band=550-750"}).band, bd550_750);
    EXPECT_EQ(ParseCommandLine({"--snapshot-every", "1440"}).snapshotEvery, 1440);
    EXPECT_EQ(BandText(bd700_900), "700-900");

    for (const char* bad : {"700", "700-900 Hz", "550–750", "", "2"}) {
        const TOptions b = ParseCommandLine({"--band", bad});
        EXPECT_TRUE(b.error.startsWith("--band needs 550-750 or 700-900")) << bad;
    }
    EXPECT_FALSE(ParseCommandLine({"--band"}).error.isEmpty());
    for (const char* bad : {"0", "-5", "1441", "2.5", "soon", ""}) {
        const TOptions b = ParseCommandLine({"--snapshot-every", bad});
        EXPECT_TRUE(b.error.contains("from 1 to 1440")) << bad;
    }
    EXPECT_FALSE(ParseCommandLine({"--record=yes"}).error.isEmpty());
    // A replay is a recording already.
    EXPECT_TRUE(ParseCommandLine({"--input", "x.wav", "--record"}).error.contains("--record"));

    // Every option is in the help text.
    const QString help = HelpText();
    for (const char* option : {"--input", "--mixer", "--headless", "--fast", "--duration", "--workdir", "--calibrate",
                               "--band", "--record", "--snapshot-every", "--help", "--version"})
        EXPECT_TRUE(help.contains(option)) << option;
    EXPECT_TRUE(VersionText().startsWith("zol "));
    EXPECT_FALSE(VersionText().contains("1.3.25"));  // the caption's text is the window's own
}
