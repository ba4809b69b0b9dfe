#include "options.h"

#include <gtest/gtest.h>

#include <vector>

#include "fixed_number.h"

namespace {

using a5host::Options;

struct Parsed {
    bool ok;
    Options options;
    std::string error;
};

Parsed parse(std::vector<const char*> args) {
    args.insert(args.begin(), "a5host");
    Parsed p{};
    p.ok = a5host::parseOptions(static_cast<int>(args.size()), args.data(), p.options, p.error);
    return p;
}

TEST(HostOptions, DefaultsAndScriptArguments) {
    const auto p = parse({"demo.lua", "one", "-v"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.options.output, Options::Output::Default);
    EXPECT_EQ(p.options.rate, 44100u);
    EXPECT_FALSE(p.options.render);
    EXPECT_FALSE(p.options.verbose);  // after the script, options belong to the script
    EXPECT_EQ(p.options.script, "demo.lua");
    EXPECT_EQ(p.options.scriptArgs, (std::vector<std::string>{"one", "-v"}));

    const auto dashed = parse({"-v", "--", "-odd-name.lua"});
    ASSERT_TRUE(dashed.ok) << dashed.error;
    EXPECT_TRUE(dashed.options.verbose);
    EXPECT_EQ(dashed.options.script, "-odd-name.lua");
}

TEST(HostOptions, OutputsAndRender) {
    auto p = parse({"--output", "null", "s.lua"});
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.options.output, Options::Output::Null);

    p = parse({"--output=wav:out dir/x.wav", "s.lua"});
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.options.output, Options::Output::Wav);
    EXPECT_EQ(p.options.wavPath, "out dir/x.wav");
    EXPECT_FALSE(p.options.render);

    p = parse({"--render", "r.wav", "--rate", "48000", "s.lua"});
    ASSERT_TRUE(p.ok);
    EXPECT_TRUE(p.options.render);
    EXPECT_EQ(p.options.output, Options::Output::Wav);
    EXPECT_EQ(p.options.wavPath, "r.wav");
    EXPECT_EQ(p.options.rate, 48000u);

    EXPECT_FALSE(parse({"--render", "r.wav", "--output", "null", "s.lua"}).ok);
    EXPECT_FALSE(parse({"--output", "speakers", "s.lua"}).ok);
    EXPECT_FALSE(parse({"--output", "wav:", "s.lua"}).ok);
    EXPECT_FALSE(parse({"--render=", "s.lua"}).ok);
}

TEST(HostOptions, RateMustBeAWholeNumberInRange) {
    EXPECT_TRUE(parse({"--rate", "8000", "s.lua"}).ok);
    EXPECT_TRUE(parse({"--rate=192000", "s.lua"}).ok);
    for (const char* bad : {"7999", "192001", "44100.5", "-44100", "", "fast", "99999999999999"}) {
        const auto p = parse({"--rate", bad, "s.lua"});
        EXPECT_FALSE(p.ok) << bad;
        EXPECT_NE(p.error.find("--rate"), std::string::npos);
    }
}

TEST(HostOptions, Resources) {
    const auto p = parse({"--resource", "song=music/a.wav", "--resource=jingle=b.wav:WAV", "s.lua"});
    ASSERT_TRUE(p.ok) << p.error;
    ASSERT_EQ(p.options.resources.size(), 2u);
    EXPECT_EQ(p.options.resources[0].name, "song");
    EXPECT_EQ(p.options.resources[0].file, "music/a.wav");
    EXPECT_EQ(p.options.resources[0].type, "WAVE");
    EXPECT_EQ(p.options.resources[1].name, "jingle");
    EXPECT_EQ(p.options.resources[1].file, "b.wav");
    EXPECT_EQ(p.options.resources[1].type, "WAV");

    for (const char* bad : {"song", "=a.wav", "song=", "song=a.wav:", "song=:WAVE"}) {
        EXPECT_FALSE(parse({"--resource", bad, "s.lua"}).ok) << bad;
    }

    const auto cd = parse({"--cd-image", "discs/a b.cue", "s.lua"});
    ASSERT_TRUE(cd.ok) << cd.error;
    EXPECT_EQ(cd.options.cdImage, "discs/a b.cue");
    EXPECT_TRUE(parse({"s.lua"}).options.cdImage.empty());
    EXPECT_FALSE(parse({"--cd-image=", "s.lua"}).ok);
}

TEST(HostOptions, UsageErrors) {
    EXPECT_FALSE(parse({}).ok);
    EXPECT_FALSE(parse({"-v"}).ok);
    EXPECT_FALSE(parse({"--rate"}).ok);
    const auto unknown = parse({"--loud", "s.lua"});
    EXPECT_FALSE(unknown.ok);
    EXPECT_NE(unknown.error.find("--loud"), std::string::npos);
    const auto help = parse({"--help"});
    EXPECT_TRUE(help.ok);
    EXPECT_TRUE(help.options.help);
}

TEST(ScriptNumbers, BecomeFixedWithTheFractionRoundedDown) {
    using a5host::fixedFromNumber;
    EXPECT_EQ(fixedFromNumber(1), 1024);
    EXPECT_EQ(fixedFromNumber(1.5), 1536);
    EXPECT_EQ(fixedFromNumber(0.99), 1013);
    EXPECT_EQ(fixedFromNumber(2.7), 2764);
    EXPECT_EQ(fixedFromNumber(-0.25), -256);
    EXPECT_EQ(fixedFromNumber(-0.001), -2);
    EXPECT_EQ(fixedFromNumber(-2097152), INT32_MIN);
    EXPECT_EQ(fixedFromNumber(2097151.999), 2147483646);
    EXPECT_FALSE(fixedFromNumber(2097152));
    EXPECT_FALSE(fixedFromNumber(-2097152.001));
    EXPECT_FALSE(fixedFromNumber(std::nan("")));
    EXPECT_FALSE(fixedFromNumber(HUGE_VAL));
}

}  // namespace
