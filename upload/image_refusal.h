#pragma once
// What the user is told about an upgrade file that is refused.

#include "upload/upgrade_image.h"

namespace fwsend {

// Prints the refusal of a file that ReadUpgradeImage did not accept: one
// error line on standard output, and on standard error, where the file is
// recognisably something else, what it seems to be.
void PrintImageRefusal(const ImageCheck& check);

}  // namespace fwsend
