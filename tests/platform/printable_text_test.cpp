#include "platform/printable_text.h"

#include <gtest/gtest.h>

namespace fwsend {

namespace {

TEST(PrintableText, EscapesWhatATerminalWouldActOnAndKeepsPrintableUtf8) {
    EXPECT_EQ(PrintableText("Probe\x1b[2J\a\r\n\x7f"), "Probe\\x1b[2J\\x07\\x0d\\x0a\\x7f");
    EXPECT_EQ(PrintableText("Gr\xc3\xbc\xc3\x9f \xe2\x82\xac \xf0\x9f\x94\x8c"),
              "Gr\xc3\xbc\xc3\x9f \xe2\x82\xac \xf0\x9f\x94\x8c");
    // C1 controls (a CSI among them), a cut sequence, an overlong slash, a surrogate.
    EXPECT_EQ(PrintableText("\xc2\x9b"
                            "1m|serialmonitor-\xc3|\xc0\xaf|\xed\xa0\x80"),
              "\\xc2\\x9b1m|serialmonitor-\\xc3|\\xc0\\xaf|\\xed\\xa0\\x80");
}

}  // namespace

}  // namespace fwsend
