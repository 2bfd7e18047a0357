// How fwsend-gang reads what names its boards: its command line, slot files
// pasted from fwsend-ports, the port finder's list for --all, and the
// arguments each fwsend is given, all as fwsend itself reads them.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gang/board_list.h"
#include "gang/board_options.h"
#include "gang/child_arguments.h"
#include "gang/gang_options.h"
#include "gang/shell_words.h"
#include "gang/slot_file.h"

namespace fwsend::gang {
namespace {

using Words = std::vector<std::string>;

std::optional<GangOptions> Parse(Words words, std::string* error = nullptr) {
    words.insert(words.begin(), "fwsend-gang");
    std::vector<const char*> argv;
    for (const std::string& word : words) argv.push_back(word.c_str());
    return ParseGangOptions(static_cast<int>(argv.size()), argv.data(), error);
}

std::string ProblemOf(const Words& words) {
    std::string error;
    EXPECT_FALSE(Parse(words, &error)) << "accepted";
    return error;
}

TEST(GangCommandLine, ABoardStartsAtEachComOrTypeOptionAndTakesTheDescriptionAfterIt) {
    const auto options = Parse({"-Ffw.txt", "-115200", "-COMttyUSB0", "-T1", "-DDual RS232-HS B", "-T2",
                                "-DTarget board", "--report", "r.jsonl", "--repeat"});
    ASSERT_TRUE(options);
    EXPECT_EQ(options->imageFile, "fw.txt");
    EXPECT_EQ(options->baudOption, "-115200");
    EXPECT_EQ(options->reportFile, "r.jsonl");
    EXPECT_TRUE(options->repeat);
    EXPECT_EQ(options->boardOptions,
              (std::vector<Words>{{"-COMttyUSB0"}, {"-T1", "-DDual RS232-HS B"}, {"-T2", "-DTarget board"}}));
}

TEST(GangCommandLine, RefusesWhatTheUsageDoesNotAllow) {
    EXPECT_EQ(ProblemOf({"-Ffw.txt", "-115200", "-DDual RS232-HS B"}),
              "'-DDual RS232-HS B' follows no -T1 or -T2 board");
    EXPECT_EQ(ProblemOf({"-Ffw.txt", "-115200", "-T1", "-Da", "-Db"}), "'-Db' follows no -T1 or -T2 board");
    EXPECT_EQ(ProblemOf({"-Ffw.txt", "-115200", "-COM1", "--fast"}), "unknown option '--fast'");
    EXPECT_EQ(ProblemOf({"-Ffw.txt", "-115201", "-COM1"}), "unknown option '-115201'");
    EXPECT_EQ(ProblemOf({"-115200", "-COM1"}), "no upgrade file (-F<file>)");
    EXPECT_EQ(ProblemOf({"-Ffw.txt", "-COM1"}), "no baud rate (-115200, ...)");
    EXPECT_EQ(ProblemOf({"-Ffw.txt", "-115200"}), "no board: name them, or give --slots FILE or --all");
    EXPECT_EQ(ProblemOf({"-Ffw.txt", "-115200", "--all", "-COM1"}),
              "boards named more than one way: give one of --slots, --all, or boards");
    EXPECT_EQ(ProblemOf({"-Ffw.txt", "-115200", "-COM1", "--driver", "cp210x"}),
              "--driver and --usb narrow --all, which is not given");
    EXPECT_EQ(ProblemOf({"-Ffw.txt", "-115200", "--all", "--usb=0403-6001"}),
              "--usb takes vendor:product as four hexadecimal digits each (0403:6001), not '0403-6001'");
    EXPECT_EQ(ProblemOf({"-Ffw.txt", "-115200", "-COM1", "--report"}), "--report needs a value");
    const auto all = Parse({"-Ffw.txt", "-115200", "--all", "--usb=10C4:EA60"});
    ASSERT_TRUE(all);
    EXPECT_EQ(all->usbIds, "10c4:ea60");
}

TEST(BoardOptions, MeanWhatTheyMeanToFwsend) {
    std::string error;
    // A by-id name holds "-F", "-D" and "-T": fwsend takes it whole as the port.
    const auto byId = ReadBoardOptions({"-COM/dev/serial/by-id/usb-FTDI_FT232R-if00-port0"}, &error);
    ASSERT_TRUE(byId) << error;
    EXPECT_EQ(byId->type, 0);
    EXPECT_EQ(byId->comPortName, "COM/dev/serial/by-id/usb-FTDI_FT232R-if00-port0");

    const auto described = ReadBoardOptions({"-T2", "-DTarget board"}, &error);
    ASSERT_TRUE(described) << error;
    EXPECT_EQ(described->type, 2);
    EXPECT_EQ(described->usbDeviceName, "Target board");

    EXPECT_FALSE(ReadBoardOptions({"-T1"}, &error));
    EXPECT_EQ(error, "'-T1' names no device: fwsend needs -D<description> after -T1 or -T2");
    EXPECT_FALSE(ReadBoardOptions({"-T0"}, &error));
    EXPECT_EQ(error, "'-T0' names no device: fwsend needs -COM<port>");
    EXPECT_FALSE(ReadBoardOptions({"-T7", "-Dx"}, &error));
    EXPECT_EQ(error, "'-T7 -Dx' names no link fwsend offers (-T0, -T1, -T2)");
    EXPECT_FALSE(ReadBoardOptions({"-COM" + std::string(99, 'x')}, &error));
    EXPECT_NE(error.find("' is longer than fwsend takes (99 characters)"), std::string::npos) << error;
}

TEST(ChildArguments, GiveTheImageLastAndRefuseAPathFwsendWouldReadAsOptions) {
    std::string error;
    // fwsend takes a file from any argument holding "-F": the image comes after.
    const Board flash{
        "1", {"-T1", "-DLink-Flash 300"}, *ReadBoardOptions({"-T1", "-DLink-Flash 300"}, nullptr)};
    const auto arguments = ChildArguments(flash, "/tmp/fw.txt", "-57600", &error);
    ASSERT_TRUE(arguments) << error;
    EXPECT_EQ(*arguments, (Words{"-T1", "-DLink-Flash 300", "-F/tmp/fw.txt", "-57600"}));

    const Board port{"2", {"-COMttyUSB0"}, *ReadBoardOptions({"-COMttyUSB0"}, nullptr)};
    EXPECT_FALSE(ChildArguments(port, "/home/my-Drive/fw.txt", "-57600", &error));
    EXPECT_EQ(error, "fwsend would take the upgrade file's path /home/my-Drive/fw.txt for other options");
    EXPECT_FALSE(ChildArguments(flash, "/builds/x-T2/fw.txt", "-57600", &error));
    EXPECT_FALSE(ChildArguments(port, "/" + std::string(99, 'f'), "-57600", &error));
}

TEST(ShellWords, SplitLinesPastedFromThePortFinderAsTheShellWould) {
    std::string error;
    EXPECT_EQ(*SplitShellWords("  slot2\t-T1 -D\"Dual RS232-HS B\"  # channel B", &error),
              (Words{"slot2", "-T1", "-DDual RS232-HS B"}));
    EXPECT_EQ(
        *SplitShellWords(R"(-D'say "hi"' -D"a \"q\" \\ \$x" -D$'Link\x1b300\'s' 'it'\''s' a\ b)", &error),
        (Words{"-Dsay \"hi\"", "-Da \"q\" \\ $x",
               "-DLink\x1b"
               "300's",
               "it's", "a b"}));
    EXPECT_EQ(*SplitShellWords("# all comment", &error), Words{});
    EXPECT_EQ(*SplitShellWords("a#b", &error), Words{"a#b"});  // # begins a comment only as a word
    EXPECT_FALSE(SplitShellWords("-D\"Dual RS232", &error));
    EXPECT_EQ(error, "a \" quote is not closed");
    EXPECT_FALSE(SplitShellWords("-D'x", &error));
    EXPECT_FALSE(SplitShellWords("x\\", &error));
}

TEST(SlotFile, HoldsOneSlotOfOneBoardALine) {
    std::string error;
    const auto boards = ParseSlotText(
        "# left row\n\nslot1 -COM/dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0\r\n"
        "slot2   -T1 -D\"Dual RS232-HS B\"\n",
        "fixture.txt", &error);
    ASSERT_TRUE(boards) << error;
    ASSERT_EQ(boards->size(), 2u);
    EXPECT_EQ((*boards)[0].slot, "slot1");
    EXPECT_EQ((*boards)[0].device.comPortName, "COM/dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0");
    EXPECT_EQ((*boards)[1].options, (Words{"-T1", "-DDual RS232-HS B"}));
    EXPECT_EQ(OptionsText((*boards)[1].options), "-T1 -D\"Dual RS232-HS B\"");

    const struct {
        const char* text;
        const char* problem;
    } wrong[] = {
        {"a -COM1\nb -COM2 -COM3\n", "f:2: slot b names 2 boards; give each its own line"},
        {"a -COM1\na -COM2\n", "f:2: slot a is named twice"},
        {"-COM1\n", "f:1: the line starts with '-COM1', not with a slot name"},
        {"a\n", "f:1: slot a names no device"},
        {"\n\na -T1 -D\"x\n", "f:3: a \" quote is not closed"},
        {"a -T2\n", "f:1: '-T2' names no device: fwsend needs -D<description> after -T1 or -T2"},
        {"a -COM1 or -T1 -Dx\n", "f:1: 'or' is not an option that names a board"},
        {"# nothing\n", "f: names no slot"},
    };
    for (const auto& c : wrong) {
        EXPECT_FALSE(ParseSlotText(c.text, "f", &error)) << c.text;
        EXPECT_EQ(error, c.problem);
    }
}

TEST(AllPorts, TakeEveryFreeDeviceOfTheKindAskedByItsStablestName) {
    PortEntry byPath;
    byPath.device = "/dev/ttyUSB0";
    byPath.comOption = "-COMttyUSB0";
    byPath.driver = "cp210x";
    byPath.vendorId = "10c4";
    byPath.productId = "ea60";
    byPath.byPathName = "/dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0";
    byPath.state = PortState::Free;
    PortEntry held = byPath;
    held.device = "/dev/ttyUSB1";
    held.state = PortState::InUse;
    PortEntry ftdi;
    ftdi.device = "/dev/ttyUSB2";
    ftdi.comOption = "-COMttyUSB2";
    ftdi.driver = "ftdi_sio";
    ftdi.vendorId = "0403";
    ftdi.productId = "6010";
    ftdi.state = PortState::Free;
    PortEntry described = ftdi;  // no -COM name: -T with its description, when fwsend takes this one
    described.device = "COM9";
    described.comOption.clear();
    described.link = DescribedLink{1, "Dual RS232-HS B", 1, 1};
    PortEntry secondOfTwo = described;
    secondOfTwo.link->rank = 2;

    const std::vector<PortEntry> ports{byPath, held, ftdi, described, secondOfTwo};
    const std::vector<Board> all = BoardsOfAllPorts(ports, "", "");
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[0].slot, "ttyUSB0");
    EXPECT_EQ(all[0].options, Words{"-COM/dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0"});
    EXPECT_EQ(all[1].options, Words{"-COMttyUSB2"});
    EXPECT_EQ(all[2].options, (Words{"-T1", "-DDual RS232-HS B"}));
    EXPECT_EQ(BoardsOfAllPorts(ports, "cp210x", "").size(), 1u);
    EXPECT_EQ(BoardsOfAllPorts(ports, "", "0403:6010").size(), 2u);
    EXPECT_EQ(BoardsOfAllPorts(ports, "ftdi_sio", "10c4:ea60").size(), 0u);
}

}  // namespace
}  // namespace fwsend::gang
