#pragma once
// Text that devices and processes chose (USB product strings, process
// names), made safe to show: a product string may hold an escape sequence, a
// bell or a line end, and a process name cut to 15 bytes may end inside a
// UTF-8 character. What is shown must say what the device says, never do
// what it says.

#include <cstddef>
#include <string>
#include <string_view>

namespace fwsend {

// The text with every byte that a terminal would act on, or that is not
// part of valid UTF-8, written as \xNN: C0 controls, DEL, the C1 controls
// (U+0080 to U+009F) and stray bytes. Printable UTF-8 stays as it is.
std::string PrintableText(std::string_view text);

// The length of the well-formed UTF-8 sequence at the start of text
// (shortest form, no surrogates, at most U+10FFFF), or 0 when it starts
// none: a stray continuation byte, an overlong form, a cut-off sequence.
std::size_t Utf8SequenceLength(std::string_view text);

// Whether the text would change under PrintableText.
bool HoldsUnprintable(std::string_view text);

}  // namespace fwsend
