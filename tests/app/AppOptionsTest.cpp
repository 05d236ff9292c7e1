#include "AppOptions.h"

#include <gtest/gtest.h>

TEST(AppOptions, SimulateHelpVersionAndMistakes)
{
    AppOptions o = ParseAppOptions({"tonvale"});
    EXPECT_FALSE(o.simulate || o.help || o.version);
    EXPECT_TRUE(o.error.isEmpty());

    o = ParseAppOptions({"tonvale", "--simulate"});
    EXPECT_TRUE(o.simulate);
    EXPECT_TRUE(o.scenario.isEmpty());

    o = ParseAppOptions({"tonvale", "-platform", "offscreen", "--simulate=/tmp/두 대.json"});
    EXPECT_TRUE(o.simulate);
    EXPECT_EQ(o.scenario, QString::fromUtf8("/tmp/두 대.json"));
    EXPECT_TRUE(o.error.isEmpty());

    EXPECT_FALSE(ParseAppOptions({"tonvale", "--simulate="}).error.isEmpty());
    EXPECT_FALSE(ParseAppOptions({"tonvale", "--simulation"}).error.isEmpty());
    EXPECT_TRUE(ParseAppOptions({"tonvale", "-h"}).help);
    EXPECT_TRUE(ParseAppOptions({"tonvale", "--version"}).version);
    // The program's own name is never taken for an option.
    EXPECT_TRUE(ParseAppOptions({"--simulate"}).error.isEmpty());
    EXPECT_FALSE(ParseAppOptions({"--simulate"}).simulate);
}
