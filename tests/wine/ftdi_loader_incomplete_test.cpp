// ComFTDI with its real Windows loader against a stand-in FTD2XX.dll that
// lacks FT_W32_PurgeComm: the open fails, though the DLL would open the
// converter, so that no run starts on a library it cannot fully use.

#include <gtest/gtest.h>

#include "transport/com_ftdi.h"

namespace fwsend {

TEST(FtdiLoaderIncompleteTest, ALibraryLackingAFunctionFailsTheOpen) {
    ComFTDI converter;
    EXPECT_FALSE(converter.Open("Loopback", 115200, 2000));
    EXPECT_FALSE(converter.IsOpen());
}

}  // namespace fwsend
