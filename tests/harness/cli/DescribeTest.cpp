#include <gtest/gtest.h>

#include "harness/cli/Describe.h"

namespace {

bool Has(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

TEST(Describe, ShowsTheModuleAsTheHostSeesIt)
{
    const std::string text = harness::DescribeModule(HARNESS_PROBE_MODULE);
    EXPECT_TRUE(Has(text, "name:          Harness Probe\n")) << text;
    EXPECT_TRUE(Has(text, "kind:          'eFKT' (0x65464B54)")) << text;
    EXPECT_TRUE(Has(text, "API version:   13.27")) << text;
    EXPECT_TRUE(Has(text, "Version 2.3 (0x00118004 = 2.3.0, stage development, build 4)")) << text;
    EXPECT_TRUE(Has(text, "out_flags:  0x06000400 (PIX_INDEPENDENT | DEEP_COLOR_AWARE | SEND_UPDATE_PARAMS_UI)"))
        << text;
    EXPECT_TRUE(Has(text, "out_flags2: 0x00001400 (SUPPORTS_SMART_RENDER | FLOAT_COLOR_AWARE)")) << text;
    EXPECT_TRUE(Has(text, "Parameters (9, counting the input layer)")) << text;
    // index, name, type, disk ID, default, range, state
    EXPECT_TRUE(Has(text, "  1   Amount                  float slider  1        10                      "
                          "-100 to 100, precision 2"))
        << text;
    EXPECT_TRUE(Has(text, "  4   Choice                  popup         4        1 \"One\"")) << text;
    EXPECT_FALSE(Has(text, "disabled")) << text;
    EXPECT_FALSE(Has(text, "violations")) << text;
}

TEST(Describe, EditorHostListsTheDeclaredPixelFormats)
{
    const std::string text = harness::DescribeModule(HARNESS_PROBE_MODULE, harness::kApplIdEditor);
    EXPECT_TRUE(Has(text, "Host: 'PrMr'")) << text;
    EXPECT_TRUE(Has(text, "pixel formats: clear add 0x61795556")) << text;
}

TEST(Describe, VersionText)
{
    EXPECT_EQ(harness::ShortVersion(0x00088001), "1.1");
    EXPECT_EQ(harness::PackedVersionText(0x00088001), "0x00088001 = 1.1.0, stage development, build 1");
}

} // namespace
