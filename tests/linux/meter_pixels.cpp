#include "tests/linux/meter_pixels.h"

#include <algorithm>
#include <cstdio>
#include <set>
#include <sstream>
#include <string>
#include <thread>

namespace sonvale::test {

namespace {

// As FillRect draws on black: right and bottom excluded, clipped to the meter.
Pixels Render(const MeterBars& bars, int width, int height)
{
    Pixels image{width, height, std::vector<std::uint32_t>(static_cast<std::size_t>(width) * height, 0)};
    for (const MeterBar& bar : bars) {
        const std::uint32_t colour = bar.red << 16 | bar.green << 8 | bar.blue;
        for (int y = std::max(bar.top, 0); y < std::min(bar.bottom, height); ++y)
            for (int x = std::max(bar.left, 0); x < std::min(bar.right, width); ++x)
                image.rgb[static_cast<std::size_t>(y) * width + x] = colour;
    }
    return image;
}

std::size_t Differences(const Pixels& a, const Pixels& b)
{
    std::size_t count = 0;
    for (std::size_t i = 0; i < a.rgb.size(); ++i)
        count += a.rgb[i] != b.rgb[i];
    return count;
}

std::string Hex(std::uint32_t colour)
{
    char text[8];
    std::snprintf(text, sizeof text, "#%06x", colour & 0xFFFFFF);
    return text;
}

// Where the grab departs from the layout it is closest to.
std::string Describe(const Pixels& grab, const std::vector<Layout>& layouts)
{
    if (grab.rgb.empty())
        return "the grab failed";
    std::size_t best = grab.rgb.size() + 1;
    const Layout* closest = nullptr;
    for (const Layout& layout : layouts) {
        const std::size_t count = Differences(grab, Render(layout.bars, grab.width, grab.height));
        if (count < best) {
            best = count;
            closest = &layout;
        }
    }
    if (!closest)
        return "no layout to compare with";
    const Pixels expected = Render(closest->bars, grab.width, grab.height);
    std::ostringstream text;
    text << "closest is block " << closest->block << ", " << best << " of " << grab.rgb.size()
         << " pixels differ; (x, y) shown/expected:";
    int listed = 0;
    for (std::size_t i = 0; i < grab.rgb.size() && listed < 8; ++i) {
        if (grab.rgb[i] == expected.rgb[i])
            continue;
        text << " (" << i % grab.width << ", " << i / grab.width << ") " << Hex(grab.rgb[i]) << "/"
             << Hex(expected.rgb[i]);
        ++listed;
    }
    return text.str();
}

}  // namespace

std::vector<Layout> LitLayouts(const std::vector<std::uint8_t>& pcm, int width, int height)
{
    SpectrumAnalyzer analyzer;
    std::vector<Layout> layouts;
    for (std::size_t at = 0; at + kMeterBlockBytes <= pcm.size(); at += kMeterBlockBytes) {
        const MeterBars bars = LayOutBars(analyzer, pcm.data() + at, width, height);
        if (std::any_of(bars.begin(), bars.end(), [&](const MeterBar& bar) {
                return bar.left < std::min(bar.right, width) && std::max(bar.top, 0) < std::min(bar.bottom, height);
            }))
            layouts.push_back({static_cast<int>(at / kMeterBlockBytes), bars});
    }
    return layouts;
}

::testing::AssertionResult ShowsPlayedBlocks(const std::function<Pixels()>& grab, const std::vector<Layout>& layouts,
                                             std::chrono::milliseconds timeout)
{
    const auto end = std::chrono::steady_clock::now() + timeout;
    std::set<int> shown;
    int grabs = 0;
    std::string mismatch;
    while (shown.size() < 3 && std::chrono::steady_clock::now() < end) {
        const Pixels pixels = grab();
        ++grabs;
        const auto match = std::find_if(layouts.begin(), layouts.end(), [&](const Layout& layout) {
            return !pixels.rgb.empty() && Render(layout.bars, pixels.width, pixels.height).rgb == pixels.rgb;
        });
        if (match != layouts.end())
            shown.insert(match->block);
        else
            mismatch = Describe(pixels, layouts);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    std::ostringstream blocks;
    for (int block : shown)
        blocks << " " << block;
    if (shown.size() < 3)
        return ::testing::AssertionFailure() << grabs << " grabs showed only the blocks {" << blocks.str()
                                             << " }; the last that matched none: " << mismatch;
    std::printf("%d grabs showed the blocks%s\n", grabs, blocks.str().c_str());
    return ::testing::AssertionSuccess();
}

}  // namespace sonvale::test
