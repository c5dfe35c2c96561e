#include "Readout.h"

#include <gtest/gtest.h>

using quelmo::formatReadout;

// The deck view's readouts show these formats at their edges (halves, negative zero, the integer
// part): DeckView.RackRingsPrintTheirFormats and LevelReadoutsShowTheIntegerPart.
namespace {
QString shown(const char* format, double value) { return formatReadout(QString::fromLatin1(format), value).value_or("refused"); }
} // namespace

TEST(Readout, RoundsLikePrintfWithExactHalvesToEven) {
    EXPECT_EQ(shown("%.0f dB", 3.5), "4 dB");
    EXPECT_EQ(shown("%.0f dB", -2.5), "-2 dB");
    EXPECT_EQ(shown("%.2fx", 2.0), "2.00x");
    EXPECT_EQ(shown("%.1f dB", -6.0), "-6.0 dB");
    EXPECT_EQ(shown("%05.1f", 2.25), "002.2");
    EXPECT_EQ(shown("%6.2f|", 1.0), "  1.00|");
}

TEST(Readout, IntegerConversionTakesTheIntegerPart) {
    EXPECT_EQ(shown("%dst", -0.5 * 24), "-12st");
    EXPECT_EQ(shown("%dst", 0.02 * 24), "0st");
    EXPECT_EQ(shown("%d%%", 1.2 * 100), "120%");
    EXPECT_EQ(shown("%02d", 7.9), "07");
    EXPECT_EQ(shown("%d", std::nan("")), "0");
    EXPECT_EQ(shown("%d", 1e300), "9200000000000000000") << "held inside the integer range";
}

TEST(Readout, RefusesAnythingButOneNumberInLiteralText) {
    for (const char* bad : {"", "dB", "%", "%s", "%x", "%n", "%p", "%*d", "%-5d", "%+.1f", "%.100f", "%100d",
                            "%.2d", "%.0f %.0f", "%d%", "%lf", "%Lf", "%e"}) {
        EXPECT_FALSE(formatReadout(QString::fromLatin1(bad), 1.0)) << bad;
    }
    EXPECT_EQ(shown("100%% at %d%%", 42.0), "100% at 42%");
    EXPECT_EQ(shown("%.99f", 1e308).size(), 309 + 1 + 99) << "the widest allowed conversion fits";
}
